#pragma once
// Pieces shared by the file decoders: opening the input file with the platform's error message,
// and refusing a declared picture size before any pixel memory is taken.

#include <QString>
#include <cstdint>
#include <cstdio>

class TImageInputFile {
  public:
    // Throws KelvoError(CannotOpenFileMessage(...)) for a missing, unreadable or empty name, and
    // for a folder (which stdio would happily open and then fail to read).
    explicit TImageInputFile(const QString& fileName);
    ~TImageInputFile();
    TImageInputFile(const TImageInputFile&) = delete;
    TImageInputFile& operator=(const TImageInputFile&) = delete;

    std::FILE* Handle() const noexcept { return FHandle; }
    std::int64_t Size() const noexcept { return FSize; }

  private:
    std::FILE* FHandle = nullptr;
    std::int64_t FSize = 0;
};

// Throws the raster's own allocation failure when a header declares more pixels than a raster
// may hold, so that neither the codec nor the raster reserves memory for a lying header.
void CheckDeclaredSize(std::int64_t width, std::int64_t height);
