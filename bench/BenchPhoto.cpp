#include "BenchPhoto.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <random>
#include <vector>
// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <jpeglib.h>
// clang-format on

namespace {
constexpr int kWidth = kBenchPhotoWidth;
constexpr int kHeight = kBenchPhotoHeight;
}  // namespace

// Smooth gradients with fine noise, so the entropy-coded data is as dense as a real photograph's.
QString BenchPhotoFile() {
    static QTemporaryDir dir;
    static const QString name = [] {
        const QString path = dir.filePath("photo.jpg");
        std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
        jpeg_compress_struct info{};
        jpeg_error_mgr errors{};
        info.err = jpeg_std_error(&errors);
        jpeg_create_compress(&info);
        jpeg_stdio_dest(&info, file);
        info.image_width = kWidth;
        info.image_height = kHeight;
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, 95, TRUE);
        jpeg_start_compress(&info, TRUE);
        std::mt19937 random(7);
        std::vector<JSAMPLE> row(std::size_t(kWidth) * 3);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const int noise = int(random() % 24) - 12;
                const auto clamp = [](int v) { return JSAMPLE(v < 0 ? 0 : v > 255 ? 255 : v); };
                row[std::size_t(x) * 3] = clamp(x * 200 / kWidth + 30 + noise);
                row[std::size_t(x) * 3 + 1] = clamp(y * 180 / kHeight + 40 + noise / 2);
                row[std::size_t(x) * 3 + 2] =
                    clamp((x + y) * 120 / (kWidth + kHeight) + 90 - noise);
            }
            JSAMPROW rows[1] = {row.data()};
            jpeg_write_scanlines(&info, rows, 1);
        }
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        std::fclose(file);
        return path;
    }();
    return name;
}
