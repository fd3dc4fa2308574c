#pragma once
// The full decode of a photograph whose reduced decode is on screen (image/ImageLoader.h,
// LoadReducedPhoto): the same load LoadPhotoFromFile makes, on a thread of its own, so that
// the window shows the reduced picture at once and stays responsive meanwhile.
//
// One object is one decode. Dropping it cancels the decode: the decoder stops at its next band
// of rows and the thread is joined, so nothing outlives the object and a load of another file
// never waits for a whole decode it no longer needs.

#include <QString>
#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "image/Bitmap32.h"
#include "image/PhotoMetadata.h"

class TFullDecode {
  public:
    // Starts decoding fileName as LoadPhotoFromFile(fileName, picture, upright) does. finished
    // is called once on the decoding thread when the decode has ended, unless it was cancelled;
    // it must only hand the news over (post an event), never touch the result.
    TFullDecode(const QString& fileName, bool upright, std::function<void()> finished);
    ~TFullDecode();
    TFullDecode(const TFullDecode&) = delete;
    TFullDecode& operator=(const TFullDecode&) = delete;

    // Whether the decode has ended (then Wait returns at once).
    bool Done() const;
    // Waits for the decode to end. Afterwards the result is this thread's: Picture() and
    // Metadata() on success, Failure() the error a plain load would have thrown.
    void Wait();
    TBitmap32& Picture() { return FPicture; }
    TKeptMetadata& Metadata() { return FMetadata; }
    std::exception_ptr Failure() const { return FFailure; }

  private:
    void Run(bool upright, const std::function<void()>& finished);

    const QString FFileName;
    std::atomic<bool> FCancelled{false};
    mutable std::mutex FLock;
    bool FDone = false;  // guarded by FLock
    // Written by the decoding thread before FDone, read by the owner after Wait.
    TBitmap32 FPicture;
    TKeptMetadata FMetadata;
    std::exception_ptr FFailure;
    std::thread FThread;
};
