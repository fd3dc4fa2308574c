// Stepping through a folder with the read-ahead on gives exactly what it gives with the
// read-ahead off: the same pictures, captions, position labels, toolbar, pointer, undo state
// and error boxes, step by step, through every step-on command, a failing file, a file gone,
// renamed, re-saved and one rewritten behind the program's back. And the window may go while
// a read-ahead is still decoding.

#include <fcntl.h>
#include <sys/stat.h>

#include <QAction>
#include <QCursor>
#include <QLabel>
#include <QSemaphore>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "browse/ReadAhead.h"
#include "browse/ui/BrowseWindowFixture.h"

namespace {

struct TSnapshot {
    QString Shown;  // the current file name, folder replaced by "<folder>"
    int Index = 0;
    QString Caption;
    QString Label;
    bool NextEnabled = false;
    bool PriorEnabled = false;
    int Width = 0;
    int Height = 0;
    QByteArray Pixels;
    bool UndoEmpty = true;
    QPoint Pointer;
    QStringList Errors;  // every error box of the run so far
    bool operator==(const TSnapshot&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TSnapshot& s) {
    return out << s.Shown.toStdString() << " #" << s.Index << " [" << s.Caption.toStdString()
               << "] label " << s.Label.toStdString() << " next " << s.NextEnabled << " prev "
               << s.PriorEnabled << " " << s.Width << "x" << s.Height << " pixels "
               << qHash(s.Pixels) << " undo-empty " << s.UndoEmpty << " pointer " << s.Pointer.x()
               << "," << s.Pointer.y() << " errors "
               << s.Errors.join(QLatin1String(" | ")).toStdString();
}

// Writes new content of the same length into the file, in place, and puts its access and
// modification times back to the nanosecond: only the change time tells.
void RewriteKeepingSizeAndTimes(const QString& path, const QString& newContent) {
    struct stat before {};
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &before), 0);
    const QByteArray bytes = *browse_test::ReadFile(newContent);
    ASSERT_EQ(bytes.size(), before.st_size);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_EQ(file.write(bytes), bytes.size());
    file.close();
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

class ReadAheadSteps : public BrowseWindowFixture {
  protected:
    struct TStep {
        const char* name;
        std::function<void(TKelvoImageForm&, const QString& folder)> act;
        const char* heldBefore;  // the file held ready before the step, with the read-ahead on
    };

    // The same folder for each run: a..k, where c holds no picture; entry widths tell them
    // apart.
    QString MakeRunFolder(const QString& name) {
        const QString folder = MakeFolder(name);
        const char* names[] = {"a.jpg", "b.gif", "c.jpg", "d.bmp", "e.jpg", "f.gif",
                               "g.bmp", "h.jpg", "i.bmp", "j.jpg", "k.jpg"};
        int width = 0;
        for (const char* file : names) {
            ++width;
            const QString path = folder + QLatin1Char('/') + QLatin1String(file);
            if (QLatin1String(file) == QLatin1String("c.jpg"))
                EXPECT_TRUE(browse_test::WriteFile(path, "no picture here"));
            else
                MakePicture(path, width);
        }
        return folder;
    }

    TSnapshot Snap(const QString& folder, qsizetype errorsBefore) {
        TKelvoImageForm& form = Form();
        const auto relative = [&](QString text) {
            return text.replace(folder, QStringLiteral("<folder>"));
        };
        TSnapshot s;
        s.Shown = relative(form.CurrentFileName());
        s.Index = form.FFileIndex;
        s.Caption = relative(form.Caption());
        s.Label = form.Label1->text();
        s.NextEnabled = form.NextSB->isEnabled();
        s.PriorEnabled = form.PriorSB->isEnabled();
        s.Width = Bitmap().Width();
        s.Height = Bitmap().Height();
        s.Pixels = QByteArray(reinterpret_cast<const char*>(Bitmap().Bits()),
                              qsizetype(Bitmap().ByteCount()));
        s.UndoEmpty = form.FUndoImage.Empty();
        s.Pointer = QCursor::pos();
        for (const QString& error : FDialogs.Errors().mid(errorsBefore))
            s.Errors.append(relative(error));
        return s;
    }

    // Runs the steps on a fresh window over its own copy of the folder and returns what was
    // on screen after each.
    std::vector<TSnapshot> Run(const std::vector<TStep>& steps, bool readAhead,
                               const QString& folderName) {
        const QString folder = MakeRunFolder(folderName);
        TKelvoImageForm& form = StartWithTools(false);
        if (!readAhead) {
            // A machine with no memory to spare: nothing is ever read ahead.
            form.FReadAhead = std::make_unique<TReadAhead>(TReadAhead::TDecoder{},
                                                           [] { return std::int64_t(0); });
        }
        QCursor::setPos(0, 0);
        const qsizetype errorsBefore = FDialogs.Errors().size();
        std::vector<TSnapshot> shots;
        for (const TStep& step : steps) {
            SCOPED_TRACE(step.name);
            // The user dwells on each picture long enough for the read-ahead to finish.
            form.FReadAhead->WaitUntilIdle();
            const QString held = form.FReadAhead->HeldName();
            if (readAhead) {
                EXPECT_EQ(held, step.heldBefore
                                    ? folder + QLatin1Char('/') + QLatin1String(step.heldBefore)
                                    : QString());
            } else {
                EXPECT_TRUE(held.isEmpty());
            }
            step.act(form, folder);
            shots.push_back(Snap(folder, errorsBefore));
        }
        FForm.reset();
        return shots;
    }
};

TEST_F(ReadAheadSteps, ShowExactlyWhatSteppingWithoutItShows) {
    const QString replacement = PathOf(QStringLiteral("replacement.bmp"));
    MakePicture(replacement, 9);  // as wide as i.bmp, so as long, but another colour
    {
        TBitmap32 other;
        other.SetSize(9, 4);
        other.Clear(0xFF10E020u);
        WriteImageFile(replacement, other, 90);
    }
    const auto next = [](TKelvoImageForm& form, const QString&) { form.NextSB->click(); };
    const auto prior = [](TKelvoImageForm& form, const QString&) { form.PriorSB->click(); };
    const std::vector<TStep> steps = {
        {"start by name shows a",
         [this](TKelvoImageForm& form, const QString& folder) {
             FDialogs.AnswerFolder(folder);
             form.AlphaSB->click();
         },
         nullptr},
        {"next: b, read ahead", next, "b.gif"},
        {"next: c cannot be shown, reported once by the load", next, "c.jpg"},
        {"next after a failed load: d", next, nullptr},
        {"del + next: d goes, e shown",
         [](TKelvoImageForm& form, const QString&) { form.DelNextSB->click(); }, "e.jpg"},
        {"next: f", next, "f.gif"},
        {"prev after next: e", prior, "g.bmp"},
        {"prev passes over the deleted d to c, which fails again", prior, "c.jpg"},
        {"next passes over d to e", next, nullptr},
        {"next: f again", next, "f.gif"},
        {"rename + next: f renamed, g shown",
         [this](TKelvoImageForm& form, const QString& folder) {
             FDialogs.AnswerText(folder + QStringLiteral("/f2"));
             form.RenameAndNextSB->click();
         },
         "g.bmp"},
        {"an edit", [](TKelvoImageForm& form, const QString&) { form.CWButtonClick(); }, "h.jpg"},
        {"save + next: g re-saved turned, h shown",
         [](TKelvoImageForm& form, const QString&) { form.SaveNextSB->click(); }, "h.jpg"},
        {"next: i was rewritten after it was read ahead",
         [&](TKelvoImageForm& form, const QString& folder) {
             RewriteKeepingSizeAndTimes(folder + QStringLiteral("/i.bmp"), replacement);
             form.NextSB->click();
         },
         "i.bmp"},
        {"next: j", next, "j.jpg"},
        {"prev: i", prior, "k.jpg"},
        {"prev: h", prior, "h.jpg"},
        {"next: i, the read-ahead went the other way", next, "g.bmp"},
        {"space: j",
         [](TKelvoImageForm& form, const QString&) { QTest::keyClick(&form, Qt::Key_Space); },
         "j.jpg"},
        {"prev: i", prior, "k.jpg"},
        {"prev: h", prior, "h.jpg"},
        {"prev: g as re-saved, read ahead", prior, "g.bmp"},
        {"prev: the renamed f2", prior, "f2.gif"},
    };
    const std::vector<TSnapshot> without = Run(steps, false, QStringLiteral("without"));
    const std::vector<TSnapshot> with = Run(steps, true, QStringLiteral("with"));
    ASSERT_EQ(with.size(), steps.size());
    ASSERT_EQ(without.size(), steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].name);
        EXPECT_EQ(with[i], without[i]);
    }
    // The run itself went where it was meant to: the broken file reported once at each visit,
    // and the rewritten file shown with its new content.
    EXPECT_EQ(with.back().Errors.size(), 2);
    EXPECT_EQ(with[13].Shown, QStringLiteral("<folder>/i.bmp"));
    EXPECT_EQ(with[13].Width, 9);
    EXPECT_EQ(reinterpret_cast<const TColor32*>(with[13].Pixels.constData())[0] & 0xFFFFFFu,
              0x10E020u);
}

TEST_F(ReadAheadSteps, TheSlideshowShowsTheSameAndReportsAFailureOnce) {
    const auto tick = [](TKelvoImageForm& form, const QString&) { TickOf(form); };
    std::vector<TStep> steps = {
        {"movie",
         [this](TKelvoImageForm& form, const QString& folder) {
             FDialogs.AnswerFolder(folder);
             form.Movie1->trigger();
         },
         nullptr},
        {"a", tick, nullptr},
        {"b", tick, "b.gif"},
        {"c fails, reported once; d shown", tick, "c.jpg"},
        {"e", tick, "e.jpg"},
    };
    const char* rest[] = {"f.gif", "g.bmp", "h.jpg", "i.bmp", "j.jpg",
                          "k.jpg", "a.jpg", "b.gif", "d.bmp", "e.jpg"};
    for (const char* held : rest)
        steps.push_back({held, tick, held});
    const std::vector<TSnapshot> without = Run(steps, false, QStringLiteral("without"));
    const std::vector<TSnapshot> with = Run(steps, true, QStringLiteral("with"));
    ASSERT_EQ(with.size(), without.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].name);
        EXPECT_EQ(with[i], without[i]);
    }
    EXPECT_EQ(with.back().Errors.size(), 1);
}

TEST_F(ReadAheadSteps, TheWindowWaitsForADecodeInFlightBeforeItGoes) {
    const QString folder = MakeFolder(QStringLiteral("two"));
    MakePicture(folder + QStringLiteral("/a.jpg"), 8);
    MakePicture(folder + QStringLiteral("/b.jpg"), 300, 200);
    // The decode of b stops inside until it is let go, a little after the window starts to go.
    QSemaphore entered;
    QSemaphore release;
    // The decoder has returned, its decode done or cancelled (the window no longer wants it).
    std::atomic<bool> finished = false;
    TKelvoImageForm& form = StartWithTools();
    form.FReadAhead = std::make_unique<TReadAhead>(
        [&](const QString& path, TBitmap32& image, bool upright) {
            entered.release();
            release.acquire();
            struct TOnReturn {
                std::atomic<bool>& Flag;
                ~TOnReturn() { Flag = true; }
            } returned{finished};
            return LoadPhotoFromFile(path, image, upright);
        },
        [] { return std::int64_t(64) << 30; });
    FDialogs.AnswerFolder(folder);
    form.AlphaSB->click();
    entered.acquire();
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        release.release();
    });
    form.close();
    FForm.reset();
    EXPECT_TRUE(finished);
    releaser.join();
}

}  // namespace
