// The read-ahead engine on its own: what it hands out is exactly what the loader gives, only
// while the file is the one decoded; failures stay quiet; it holds back when memory is short
// and on files it must not read; and its worker is gone when it is.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "browse/BrowseTestSupport.h"
#include "browse/ReadAhead.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "image/JpegDecoder.h"

namespace {

constexpr std::int64_t kPlenty = std::int64_t(64) << 30;

// A picture whose every pixel differs from its neighbours, so a wrong or torn decode shows.
TBitmap32 Pattern(int width, int height, unsigned seed) {
    TBitmap32 image;
    image.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetPixel(x, y, 0xFF000000u | ((x * 37u + y * 91u + seed * 7919u) & 0xFFFFFFu));
    return image;
}

bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() &&
           std::memcmp(a.Bits(), b.Bits(), a.ByteCount()) == 0;
}

class ReadAhead : public ::testing::Test {
  public:
    QString PathOf(const char* name) const { return FDir.filePath(QLatin1String(name)); }
    QString Write(const char* name, int width, int height, unsigned seed) {
        const QString path = PathOf(name);
        WriteImageFile(path, Pattern(width, height, seed), 90);
        return path;
    }
    QTemporaryDir FDir;
};

TEST_F(ReadAhead, HandsOverExactlyWhatTheLoaderGivesAndKeepsTheTargetsProperties) {
    TReadAhead engine({}, [] { return kPlenty; });
    for (const char* name : {"a.jpg", "b.gif", "c.bmp", "d.png"}) {
        SCOPED_TRACE(name);
        const QString path = Write(name, 37, 23, 5);
        TBitmap32 expected;
        LoadImageFromFile(path, expected);

        engine.Start(path, expected.ByteCount());
        engine.WaitUntilIdle();
        EXPECT_EQ(engine.HeldName(), path);
        TBitmap32 shown;
        shown.OuterColor = 0x123456;
        shown.StretchFilter = TStretchFilter::sfLinear;
        ASSERT_TRUE(engine.Take(path, shown));
        EXPECT_TRUE(SamePixels(shown, expected));
        EXPECT_EQ(shown.OuterColor, 0x123456u);
        EXPECT_EQ(shown.StretchFilter, TStretchFilter::sfLinear);
        // Taken once: the spare picture is gone with it.
        EXPECT_TRUE(engine.HeldName().isEmpty());
        TBitmap32 again;
        EXPECT_FALSE(engine.Take(path, again));
    }
}

TEST_F(ReadAhead, AFileChangedAfterTheDecodeIsNotHandedOver) {
    struct Case {
        const char* name;
        std::function<void(const QString& path, ReadAhead& test)> change;
        bool taken;
    };
    const Case cases[] = {
        {"unchanged", [](const QString&, ReadAhead&) {}, true},
        {"rewritten in place with as many bytes and its times put back",
         [](const QString& path, ReadAhead&) {
             struct stat before {};
             ASSERT_EQ(stat(QFile::encodeName(path).constData(), &before), 0);
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             QByteArray bytes = file.readAll();
             // The last pixel row of a bottom-up BMP is the first stored one.
             bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] ^ 0x5A);
             file.seek(0);
             file.write(bytes);
             file.close();
             const timespec times[2] = {before.st_atim, before.st_mtim};
             ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
             struct stat after {};
             ASSERT_EQ(stat(QFile::encodeName(path).constData(), &after), 0);
             ASSERT_EQ(after.st_size, before.st_size);
             ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
         }},
        {"touched only",
         [](const QString& path, ReadAhead&) {
             ASSERT_TRUE(browse_test::SetModified(path, 1000000000));
         }},
        {"deleted", [](const QString& path, ReadAhead&) { ASSERT_TRUE(QFile::remove(path)); }},
        {"replaced by another file of the same name and size",
         [](const QString& path, ReadAhead& test) {
             const QString other = test.Write("other.bmp", 16, 16, 99);
             ASSERT_TRUE(QFile::remove(path));
             ASSERT_TRUE(QFile::rename(other, path));
         }},
    };
    TReadAhead engine({}, [] { return kPlenty; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Write("shot.bmp", 16, 16, 1);
        engine.Start(path, 1024);
        engine.WaitUntilIdle();
        ASSERT_EQ(engine.HeldName(), path);
        c.change(path, *this);
        TBitmap32 shown;
        EXPECT_EQ(engine.Take(path, shown), c.taken);
        if (!c.taken) EXPECT_TRUE(shown.Empty());
        QFile::remove(path);
    }
}

TEST_F(ReadAhead, AFailedDecodeIsQuietAndLeftToTheLoad) {
    const QString path = PathOf("broken.jpg");
    ASSERT_TRUE(browse_test::WriteFile(path, "no picture here"));
    TReadAhead engine({}, [] { return kPlenty; });
    engine.Start(path, 1024);
    engine.WaitUntilIdle();
    TBitmap32 shown;
    EXPECT_FALSE(engine.Take(path, shown));
    EXPECT_TRUE(shown.Empty());
}

TEST_F(ReadAhead, HoldsBackWhereItMustNotRead) {
    const QString jpeg = Write("a.jpg", 8, 8, 1);
    // libtiff reads whatever starts as a TIFF, whatever its name says.
    const QString tiffNamedJpeg = PathOf("scan.jpg");
    {
        QFile file(tiffNamedJpeg);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("II*\0\x08\0\0\0\0\0", 10));
    }
    // A pipe with a picture's name would block the worker for ever.
    const QString pipe = PathOf("pipe.jpg");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(PathOf("folder.jpg")));
    constexpr std::size_t kPhoto = std::size_t(6000) * 4000 * 4;
    struct Case {
        const char* name;
        QString path;
        std::int64_t available;
    };
    const Case cases[] = {
        {"memory short of a second photograph", jpeg, std::int64_t(kPhoto) + (64 << 20)},
        {"a TIFF file named as a JPEG", tiffNamedJpeg, kPlenty},
        {"a pipe", pipe, kPlenty},
        {"a folder", PathOf("folder.jpg"), kPlenty},
        {"a file that is not there", PathOf("gone.jpg"), kPlenty},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<int> decodes = 0;
        TReadAhead engine(
            [&](const QString& path, TBitmap32& image, bool upright) {
                ++decodes;
                return LoadPhotoFromFile(path, image, upright);
            },
            [&] { return c.available; });
        engine.Start(c.path, kPhoto);
        engine.WaitUntilIdle();
        EXPECT_EQ(decodes, 0);
        EXPECT_TRUE(engine.HeldName().isEmpty());
    }
    // The same file with memory to spare is read: the cases above hold back for their reason.
    std::atomic<int> decodes = 0;
    TReadAhead engine(
        [&](const QString& path, TBitmap32& image, bool upright) {
            ++decodes;
            return LoadPhotoFromFile(path, image, upright);
        },
        [] { return kPlenty; });
    engine.Start(jpeg, kPhoto);
    engine.WaitUntilIdle();
    EXPECT_EQ(decodes, 1);
}

// A decoder that stops inside the decode until the test lets it go.
struct TGatedDecoder {
    QSemaphore Entered;
    QSemaphore Release;
    // The decoder has returned: its decode done, or cancelled (a decode nobody waits for any
    // more stops early).
    std::atomic<bool> Finished = false;
    std::atomic<bool> Cancelled = false;
    TReadAhead::TDecoder Decoder() {
        return [this](const QString& path, TBitmap32& image, bool upright) {
            Entered.release();
            Release.acquire();
            struct TOnReturn {
                std::atomic<bool>& Flag;
                ~TOnReturn() { Flag = true; }
            } finished{Finished};
            try {
                return LoadPhotoFromFile(path, image, upright);
            } catch (const TJpegDecodeCancelled&) {
                Cancelled = true;
                throw;
            }
        };
    }
    // Once the decode has begun: lets it go on from another thread, a little later than the
    // caller's next step.
    std::thread ReleaseLater() {
        Entered.acquire();
        return std::thread([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            Release.release();
        });
    }
};

TEST_F(ReadAhead, TakingTheFileBeingDecodedWaitsForIt) {
    const QString path = Write("a.jpg", 40, 30, 3);
    TBitmap32 expected;
    LoadImageFromFile(path, expected);
    TGatedDecoder gate;
    TReadAhead engine(gate.Decoder(), [] { return kPlenty; });
    engine.Start(path, 1024);
    std::thread releaser = gate.ReleaseLater();
    TBitmap32 shown;
    const bool taken = engine.Take(path, shown);
    releaser.join();
    EXPECT_TRUE(taken);
    EXPECT_TRUE(SamePixels(shown, expected));
}

TEST_F(ReadAhead, TakingAnotherFileDropsTheDecodeInFlight) {
    const QString ahead = Write("a.jpg", 40, 30, 3);
    const QString elsewhere = Write("b.jpg", 40, 30, 4);
    TGatedDecoder gate;
    TReadAhead engine(gate.Decoder(), [] { return kPlenty; });
    engine.Start(ahead, 1024);
    gate.Entered.acquire();
    TBitmap32 shown;
    EXPECT_FALSE(engine.Take(elsewhere, shown));  // returns at once, without waiting
    gate.Release.release();
    engine.WaitUntilIdle();
    EXPECT_TRUE(gate.Finished);
    EXPECT_TRUE(gate.Cancelled);
    EXPECT_TRUE(engine.HeldName().isEmpty());
    EXPECT_FALSE(engine.Take(ahead, shown));
}

TEST_F(ReadAhead, TheWorkerEndsBeforeTheEngineIsGone) {
    const QString path = Write("a.jpg", 40, 30, 3);
    TGatedDecoder gate;
    std::thread releaser;
    {
        TReadAhead engine(gate.Decoder(), [] { return kPlenty; });
        engine.Start(path, 1024);
        releaser = gate.ReleaseLater();
    }
    EXPECT_TRUE(gate.Finished);
    releaser.join();
}

}  // namespace

namespace {

// Pictures shown at a quarter of their size or less are read ahead reduced first.
QSize QuarterOf(QSize full) {
    return full / 4;
}

TEST_F(ReadAhead, ReducedFirstIsHandedOverWithoutWaitingForTheWholeDecode) {
    const QString large = Write("large.jpg", 2400, 1600, 3);
    TBitmap32 whole;
    LoadPhotoFromFile(large, whole, true);
    TReducedPhoto direct;
    ASSERT_TRUE(LoadReducedPhoto(large, true, &QuarterOf, direct));

    TReadAhead engine({}, [] { return kPlenty; });
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        // Taken at once: this waits for the reduced decode only, and the whole one is dropped.
        engine.Start(large, whole.ByteCount(), true, &QuarterOf);
        TReducedPhoto reduced;
        ASSERT_TRUE(engine.TakeReduced(large, true, reduced));
        EXPECT_EQ(reduced.FullSize, QSize(2400, 1600));
        EXPECT_EQ(reduced.Scale, 4);
        EXPECT_TRUE(SamePixels(reduced.Picture, direct.Picture));
        EXPECT_TRUE(engine.HeldName().isEmpty());
        engine.WaitUntilIdle();
        EXPECT_TRUE(engine.HeldName().isEmpty());
    }
    // Once the whole picture is there it is the one handed out: TakeReduced leaves it to Take.
    engine.Start(large, whole.ByteCount(), true, &QuarterOf);
    engine.WaitUntilIdle();
    TReducedPhoto reduced;
    EXPECT_FALSE(engine.TakeReduced(large, true, reduced));
    TBitmap32 taken;
    ASSERT_TRUE(engine.Take(large, taken, true));
    EXPECT_TRUE(SamePixels(taken, whole));
}

TEST_F(ReadAhead, ReducedFirstOnlyForLargeJpegsAndTheUprightChoiceAsked) {
    TReadAhead engine({}, [] { return kPlenty; });
    // Too small for a quarter, and not a JPEG: decoded whole, never reduced.
    for (const char* name : {"small.jpg", "large.png"}) {
        SCOPED_TRACE(name);
        const QString path = Write(name, name[0] == 's' ? 300 : 1600, 200, 4);
        QSize (*const shown)(QSize) =
            name[0] == 's' ? +[](QSize full) { return full / 2 + QSize(1, 1); } : &QuarterOf;
        engine.Start(path, 0, true, shown);
        TReducedPhoto reduced;
        EXPECT_FALSE(engine.TakeReduced(path, true, reduced));
        TBitmap32 taken;
        EXPECT_TRUE(engine.Take(path, taken, true));
    }
    const QString large = Write("large.jpg", 2400, 1600, 3);
    engine.Start(large, 0, false, &QuarterOf);
    TReducedPhoto reduced;
    EXPECT_FALSE(engine.TakeReduced(large, true, reduced));
}

}  // namespace
