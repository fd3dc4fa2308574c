#pragma once
// Read-ahead for stepping through a folder: while one photograph is looked at, the one the
// user most likely goes to next is decoded on a worker thread into a spare raster, and handed
// over without a copy when the user gets there.
//
// Correctness comes before speed. A held picture is given out only when its file is still the
// one decoded: same name, same size and modification time (and, to catch a rewrite that puts
// the old time back, the same change time and file). A decode that fails is never reported
// here; the caller then loads the file itself and reports exactly as it always does.
//
// A large JPEG to be shown fitted is read ahead reduced first (image/ImageLoader.h,
// LoadReducedPhoto), then whole: a user who holds the key down steps through the reduced
// pictures at the rate they decode, and one who stops gets the whole picture that follows.

#include <QSize>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "image/Bitmap32.h"
#include "image/ImageLoader.h"
#include "image/PhotoMetadata.h"


// What a file is at one moment, as far as a decode depends on it.
struct TFileIdentity {
    bool Regular = false;  // a regular file; anything else (gone, a folder, a pipe) is not read
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t Size = 0;
    std::int64_t ModifiedNs = 0;
    std::int64_t ChangedNs = 0;
    bool operator==(const TFileIdentity&) const = default;
};
TFileIdentity FileIdentityOf(const QString& path);

// Bytes of memory the machine can still hand out without swapping; -1 when unknown.
std::int64_t AvailableMemoryBytes();

class TReadAhead {
  public:
    // upright: a photo stored with an EXIF orientation is turned upright, as the window's load
    // does when "Auto Rotate" is checked.
    using TDecoder =
        std::function<TKeptMetadata(const QString& path, TBitmap32& image, bool upright)>;
    using TMemoryProbe = std::function<std::int64_t()>;

    // decoder: how a file becomes a picture (the loader's entry point unless a test says
    // otherwise). memory: the available-memory probe.
    explicit TReadAhead(TDecoder decoder = {}, TMemoryProbe memory = {});
    // Drops what is held and waits for a decode in flight: the worker never outlives this.
    ~TReadAhead();
    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;

    // Decodes path in the background, replacing whatever was held or queued. Nothing starts
    // when path is already held or being decoded, when it is no regular file, when its decoder
    // keeps process-wide state, or when the machine is short of memory for one more picture of
    // about expectedBytes.
    // A picture held or being decoded with the other upright choice counts as not held.
    // shownSize, when given, answers the size a picture of a given full size is shown at: a
    // JPEG large enough for it is then decoded reduced first (see TakeReduced).
    void Start(const QString& path, std::size_t expectedBytes, bool upright = false,
               std::function<QSize(QSize)> shownSize = {});

    // The caller is about to load path. When path is held, or being decoded (then this waits
    // for it), and the decode succeeded and the file is unchanged, its picture goes into image
    // (pixels only; image keeps its drawing properties) and the result is true. Either way
    // nothing is held or queued afterwards, and a decode of another file still in flight is
    // dropped when it ends.
    // The picture must have been decoded with the same upright choice; metadata, when given,
    // receives what the file carries besides its pixels.
    bool Take(const QString& path, TBitmap32& image, bool upright = false,
              TKeptMetadata* metadata = nullptr);

    // The caller is about to show path reduced first. When path's whole picture is not held
    // but its reduced decode is (this waits for a reduced decode of path queued or in flight,
    // never for a whole one), that goes into reduced, the whole decode still running is cancelled, and the
    // result is true. False, with everything left as it was, otherwise: Take then gives the
    // whole picture when it is held or being decoded.
    bool TakeReduced(const QString& path, bool upright, TReducedPhoto& reduced);

    // Forgets what is held or queued; a decode in flight ends and is dropped (a JPEG's within
    // a band of rows).
    void Cancel();

    // For tests and benchmarks: waits until no decode runs or is queued.
    void WaitUntilIdle();
    // The name of the picture held ready, empty when none.
    QString HeldName() const;

  private:
    struct TJob {
        QString Path;
        std::uint64_t Generation = 0;
        bool Upright = false;
        std::function<QSize(QSize)> ShownSize;
        bool ReducedPhase = false;  // in flight: the reduced decode runs
    };
    struct THeld {
        QString Path;
        TFileIdentity Identity;
        bool Upright = false;
        bool Decoded = false;
        TBitmap32 Picture;
        TKeptMetadata Metadata;
    };
    // The reduced decode of the job in flight, held until its whole decode is.
    struct THeldReduced {
        QString Path;
        TFileIdentity Identity;
        bool Upright = false;
        TReducedPhoto Photo;
    };
    void Run();
    // Under FLock: what the caller must release outside the lock.
    struct TReleased {
        std::unique_ptr<THeld> Held;
        std::unique_ptr<THeldReduced> Reduced;
    };
    TReleased ForgetLocked();

    TDecoder FDecoder;
    TMemoryProbe FMemory;
    // Standard primitives and thread rather than Qt's, so that the thread sanitizer sees every
    // hand-over, the join included.
    mutable std::mutex FLock;
    std::condition_variable FWork;  // a job is queued, or the worker must stop
    std::condition_variable FDone;  // a decode has ended
    std::optional<TJob> FPending;
    std::optional<TJob> FInFlight;
    std::unique_ptr<THeld> FHeld;
    std::unique_ptr<THeldReduced> FHeldReduced;
    // Set to drop the decode in flight: its JPEG decoder stops at the next band of rows.
    std::atomic<bool> FCancelInFlight{false};
    std::uint64_t FGeneration = 0;
    bool FStopping = false;
    std::thread FThread;
};
