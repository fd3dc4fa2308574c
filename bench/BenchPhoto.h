#pragma once
// A 6000 x 4000 JPEG at quality 95, written once per benchmark run into a temporary folder.

#include <QString>

constexpr int kBenchPhotoWidth = 6000;
constexpr int kBenchPhotoHeight = 4000;

QString BenchPhotoFile();
