#include "browse/ReadAhead.h"

#include <pthread.h>
#include <sys/stat.h>

#include <QFile>
#include <algorithm>
#include <exception>

#include "image/ImageLoader.h"
#include "image/JpegDecoder.h"

namespace {

std::int64_t Nanoseconds(const timespec& time) {
    return std::int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// Room for the picture on screen, the one ahead and whatever the decoder and the view need
// besides; below that the machine is short and nothing is read ahead.
constexpr std::int64_t kMemoryMargin = std::int64_t(256) << 20;
constexpr std::int64_t kSmallestExpected = std::int64_t(16) << 20;

}  // namespace

TFileIdentity FileIdentityOf(const QString& path) {
    TFileIdentity identity;
    struct stat status {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return identity;
    identity.Regular = S_ISREG(status.st_mode);
    identity.Device = status.st_dev;
    identity.Inode = status.st_ino;
    identity.Size = status.st_size;
    identity.ModifiedNs = Nanoseconds(status.st_mtim);
    identity.ChangedNs = Nanoseconds(status.st_ctim);
    return identity;
}

std::int64_t AvailableMemoryBytes() {
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly)) return -1;
    while (!meminfo.atEnd()) {
        const QByteArray line = meminfo.readLine();
        if (!line.startsWith("MemAvailable:")) continue;
        bool ok = false;
        const qint64 kib = line.mid(13).trimmed().split(' ').value(0).toLongLong(&ok);
        return ok ? kib * 1024 : -1;
    }
    return -1;
}

TReadAhead::TReadAhead(TDecoder decoder, TMemoryProbe memory)
    : FDecoder(decoder ? std::move(decoder) : TDecoder(&LoadPhotoFromFile)),
      FMemory(memory ? std::move(memory) : TMemoryProbe(&AvailableMemoryBytes)) {}

TReadAhead::~TReadAhead() {
    TReleased released;
    {
        const std::lock_guard lock(FLock);
        FStopping = true;
        released = ForgetLocked();
        FWork.notify_all();
    }
    if (FThread.joinable()) FThread.join();
}

TReadAhead::TReleased TReadAhead::ForgetLocked() {
    ++FGeneration;
    FPending.reset();
    if (FInFlight) FCancelInFlight.store(true, std::memory_order_relaxed);
    return {std::move(FHeld), std::move(FHeldReduced)};
}

void TReadAhead::Start(const QString& path, std::size_t expectedBytes, bool upright,
                       std::function<QSize(QSize)> shownSize) {
    TReleased released;
    {
        const std::lock_guard lock(FLock);
        if (FHeld && FHeld->Path == path && FHeld->Upright == upright) return;
        if (FInFlight && FInFlight->Path == path && FInFlight->Upright == upright &&
            FInFlight->Generation == FGeneration)
            return;
        released = ForgetLocked();
    }
    // The old picture goes before the memory is looked at, so that it does not count twice.
    released = {};
    // libtiff's report handlers are process-wide, so TIFF files are decoded where they are
    // shown; a pipe or a device would block the worker, so only regular files are read.
    if (ImageDecoderOf(path) == TImageFileType::Tiff || !FileIdentityOf(path).Regular) return;
    const std::int64_t expected = std::max(std::int64_t(expectedBytes), kSmallestExpected);
    const std::int64_t available = FMemory();
    if (available >= 0 && available < 2 * expected + kMemoryMargin) return;

    const std::lock_guard lock(FLock);
    if (FStopping) return;
    FPending = TJob{path, FGeneration, upright, std::move(shownSize)};
    if (!FThread.joinable()) {
        FThread = std::thread([this] { Run(); });
        pthread_setname_np(FThread.native_handle(), "ReadAhead");
    }
    FWork.notify_all();
}

void TReadAhead::Run() {
    std::unique_lock lock(FLock);
    for (;;) {
        while (!FStopping && !FPending)
            FWork.wait(lock);
        if (FStopping) return;
        FInFlight = std::move(FPending);
        FPending.reset();
        FCancelInFlight.store(false, std::memory_order_relaxed);
        FInFlight->ReducedPhase = bool(FInFlight->ShownSize);
        const TJob job = *FInFlight;
        lock.unlock();

        const TJpegCancellation cancellation(FCancelInFlight);
        if (job.ShownSize) {
            auto reduced = std::make_unique<THeldReduced>();
            reduced->Path = job.Path;
            reduced->Upright = job.Upright;
            reduced->Identity = FileIdentityOf(job.Path);
            bool made = false;
            try {
                made = LoadReducedPhoto(job.Path, job.Upright, job.ShownSize, reduced->Photo);
            } catch (...) {
                // The whole decode below meets the same failure, and the load at show time
                // reports it.
            }
            if (FileIdentityOf(job.Path) != reduced->Identity) made = false;
            lock.lock();
            if (FInFlight) FInFlight->ReducedPhase = false;
            if (made && job.Generation == FGeneration && !FStopping)
                FHeldReduced = std::move(reduced);
            FDone.notify_all();
            lock.unlock();
            reduced.reset();
        }

        auto held = std::make_unique<THeld>();
        held->Path = job.Path;
        held->Upright = job.Upright;
        held->Identity = FileIdentityOf(job.Path);
        try {
            held->Metadata = FDecoder(job.Path, held->Picture, job.Upright);
            held->Decoded = true;
        } catch (...) {
            // Not reported: the load at show time meets the same failure and reports it.
            held->Picture.AssignEmpty();
        }
        // A file that changed while it was read is as good as unread.
        if (FileIdentityOf(job.Path) != held->Identity) held->Decoded = false;

        lock.lock();
        FInFlight.reset();
        std::unique_ptr<THeldReduced> reduced;
        if (job.Generation == FGeneration && !FStopping) {
            FHeld = std::move(held);
            // The whole picture supersedes the reduced one.
            reduced = std::move(FHeldReduced);
        }
        FDone.notify_all();
        if (held || reduced) {
            // A stale picture is let go outside the lock, before the next decode begins, so
            // there is never more than one spare picture.
            lock.unlock();
            held.reset();
            reduced.reset();
            lock.lock();
        }
    }
}

bool TReadAhead::Take(const QString& path, TBitmap32& image, bool upright,
                      TKeptMetadata* metadata) {
    std::unique_ptr<THeld> held;
    {
        std::unique_lock lock(FLock);
        while (FInFlight && FInFlight->Path == path && FInFlight->Upright == upright &&
               FInFlight->Generation == FGeneration)
            FDone.wait(lock);
        if (FHeld && FHeld->Path == path && FHeld->Upright == upright) held = std::move(FHeld);
        // Whatever else was held, queued or is still being decoded is of no more use.
        TReleased rest = ForgetLocked();
        lock.unlock();
    }
    if (!held || !held->Decoded || FileIdentityOf(path) != held->Identity) return false;
    held->Picture.OuterColor = image.OuterColor;
    held->Picture.DrawMode = image.DrawMode;
    held->Picture.MasterAlpha = image.MasterAlpha;
    held->Picture.StretchFilter = image.StretchFilter;
    image.Assign(std::move(held->Picture));
    if (metadata) *metadata = std::move(held->Metadata);
    return true;
}

bool TReadAhead::TakeReduced(const QString& path, bool upright, TReducedPhoto& reduced) {
    std::unique_ptr<THeldReduced> taken;
    {
        std::unique_lock lock(FLock);
        // A reduced decode of path queued or running is waited for: it is short.
        const auto reducedComing = [&] {
            const auto forPath = [&](const std::optional<TJob>& job) {
                return job && job->Path == path && job->Upright == upright &&
                       job->Generation == FGeneration;
            };
            return (forPath(FPending) && FPending->ShownSize) ||
                   (forPath(FInFlight) && FInFlight->ReducedPhase);
        };
        while (reducedComing())
            FDone.wait(lock);
        if (FHeld && FHeld->Path == path && FHeld->Upright == upright) return false;
        if (!FHeldReduced || FHeldReduced->Path != path || FHeldReduced->Upright != upright)
            return false;
        taken = std::move(FHeldReduced);
        TReleased rest = ForgetLocked();
        lock.unlock();
    }
    if (FileIdentityOf(path) != taken->Identity) return false;
    reduced = std::move(taken->Photo);
    return true;
}

void TReadAhead::Cancel() {
    TReleased released;
    const std::lock_guard lock(FLock);
    released = ForgetLocked();
}

void TReadAhead::WaitUntilIdle() {
    std::unique_lock lock(FLock);
    while (FInFlight || FPending)
        FDone.wait(lock);
}

QString TReadAhead::HeldName() const {
    const std::lock_guard lock(FLock);
    return FHeld ? FHeld->Path : QString();
}
