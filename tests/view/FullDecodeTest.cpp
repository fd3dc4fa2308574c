// The full decode behind a reduced picture: on its own thread it makes exactly the plain load's
// picture and metadata, reports its end once, and when dropped stops early and reports nothing.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <chrono>
#include <mutex>
#include <thread>

#include "base/KelvoError.h"
#include "image/ImageLoader.h"
#include "support/CameraJpeg.h"
#include "support/RasterPatterns.h"
#include "view/FullDecode.h"

namespace {

TEST(FullDecode, MakesThePlainLoadsPictureAndMetadata) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("camera.jpg"));
    camera_jpeg::Write(path, {1200, 800, 8, 3144, 90});
    TBitmap32 plain;
    const TKeptMetadata plainMetadata = LoadPhotoFromFile(path, plain, true);

    std::mutex lock;
    std::condition_variable ended;
    int finished = 0;
    TFullDecode decode(path, true, [&] {
        const std::lock_guard guard(lock);
        ++finished;
        ended.notify_all();
    });
    {
        std::unique_lock guard(lock);
        ended.wait(guard, [&] { return finished > 0; });
    }
    EXPECT_TRUE(decode.Done());
    decode.Wait();
    EXPECT_EQ(decode.Failure(), nullptr);
    EXPECT_TRUE(SamePixels(decode.Picture(), plain));
    ASSERT_TRUE(decode.Metadata().Source && plainMetadata.Source);
    EXPECT_EQ(decode.Metadata().Source->Exif(), plainMetadata.Source->Exif());
    EXPECT_TRUE(decode.Metadata().Turn == plainMetadata.Turn);
    EXPECT_EQ(decode.Metadata().Reoriented, plainMetadata.Reoriented);
    EXPECT_NE(decode.Metadata().TurnedStamp, 0u);
    EXPECT_EQ(finished, 1);
}

TEST(FullDecode, KeepsTheLoadsFailure) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing.jpg"));
    TFullDecode decode(path, true, {});
    decode.Wait();
    ASSERT_NE(decode.Failure(), nullptr);
    EXPECT_THROW(std::rethrow_exception(decode.Failure()), KelvoError);
    EXPECT_TRUE(decode.Picture().Empty());
}

TEST(FullDecode, DroppedWhileDecodingStopsAndReportsNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.jpg"));
    camera_jpeg::Write(path, {4000, 3000, 6, 0, 95});
    std::atomic<int> finished{0};
    for (int round = 0; round < 5; ++round) {
        // Dropped at once, and after it has had a moment to start on the rows.
        auto decode = std::make_unique<TFullDecode>(path, true, [&] { ++finished; });
        if (round % 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        decode.reset();
    }
    EXPECT_EQ(finished.load(), 0);
}

}  // namespace
