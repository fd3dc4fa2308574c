#include "view/FullDecode.h"

#include <pthread.h>

#include "image/ImageLoader.h"
#include "image/JpegDecoder.h"

TFullDecode::TFullDecode(const QString& fileName, bool upright, std::function<void()> finished)
    : FFileName(fileName) {
    FThread = std::thread(
        [this, upright, finished = std::move(finished)] { Run(upright, finished); });
    pthread_setname_np(FThread.native_handle(), "FullDecode");
}

TFullDecode::~TFullDecode() {
    FCancelled.store(true, std::memory_order_relaxed);
    if (FThread.joinable()) FThread.join();
}

void TFullDecode::Run(bool upright, const std::function<void()>& finished) {
    {
        const TJpegCancellation cancellation(FCancelled);
        try {
            FMetadata = LoadPhotoFromFile(FFileName, FPicture, upright);
        } catch (const TJpegDecodeCancelled&) {
            FPicture.AssignEmpty();
        } catch (...) {
            FFailure = std::current_exception();
        }
    }
    {
        const std::lock_guard lock(FLock);
        FDone = true;
    }
    if (!FCancelled.load(std::memory_order_relaxed) && finished) finished();
}

bool TFullDecode::Done() const {
    const std::lock_guard lock(FLock);
    return FDone;
}

void TFullDecode::Wait() {
    // The join is the hand-over of the result: everything the thread wrote is visible after it.
    if (FThread.joinable()) FThread.join();
}
