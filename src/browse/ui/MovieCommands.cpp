// The slideshow: "Movie", "Movie Speed (ms)" and the show timer's tick.

#include <QAction>
#include <QDir>
#include <QTimer>
#include <exception>

#include "app/ui/CommandDispatch.h"
#include "app/ui/KelvoImageUnit.h"
#include "app/ui/KelvoPrompts.h"
#include "base/FlagScope.h"
#include "base/IniFile.h"
#include "browse/FileOperations.h"
#include "browse/FolderList.h"

void TKelvoImageForm::Movie1Click() {
    if (!BuildFolderList(TFolderOrder::ByName)) return;
    int interval = TIniFile(MainSettingsFile())
                       .ReadInteger(QStringLiteral("Movie"), QStringLiteral("Speed"), 100);
    // Zero or less, written by hand, would spin the event loop flat out.
    if (interval < 1) interval = 100;
    // Setting a different period restarts a running timer; the same period leaves it be.
    if (MovieTimer->interval() != interval) MovieTimer->setInterval(interval);
    FMovieFailures.clear();
    FMoviePlaying = true;
    if (!MovieTimer->isActive()) MovieTimer->start();
}

void TKelvoImageForm::MovieSpeedms1Click() {
    PromptIntegerSetting(MainSettingsFile(), MovieSpeedSetting, MovieSpeedms1);
}

qsizetype TKelvoImageForm::NextMovieEntry() const {
    // The entry the next tick shows: from the index on, round the list, past the entries the
    // show skips.
    const qsizetype start = FFileIndex >= 0 && FFileIndex < FFileList.size() ? FFileIndex : 0;
    for (qsizetype tried = 0; tried < FFileList.size(); ++tried) {
        const qsizetype position = (start + tried) % FFileList.size();
        const QString& entry = FFileList[position];
        if (!FMovieFailures.contains(entry) && !FileIsGone(entry)) return position;
    }
    return -1;
}

void TKelvoImageForm::MovieTimerTimer() {
    // An idle timer has nothing to do; it is started again by the next "Movie".
    if (!FMoviePlaying) {
        MovieTimer->stop();
        return;
    }
    // Error boxes are modal and the timer goes on ticking behind them: a tick that finds the
    // previous one still loading or still reporting leaves the show to it.
    if (FMovieTickRunning || FFileList.isEmpty()) return;
    const TFlagScope running(FMovieTickRunning);

    // "Next" or a step-on file action may have left the index past the end.
    if (FFileIndex < 0 || FFileIndex >= FFileList.size()) FFileIndex = 0;
    // An entry that cannot be loaded is skipped for the rest of this show, and the tick moves
    // on to the following one, so each failure is reported once and never at every tick.
    QStringList failures;
    for (qsizetype tried = 0; tried < FFileList.size(); ++tried) {
        const int position = FFileIndex;
        const QString entry = FFileList[position];
        const int following = position + 1 < FFileList.size() ? position + 1 : 0;
        // A file deleted or renamed away is passed over without a word, for as long as it is
        // gone; one that cannot be loaded is reported once and then passed over.
        if (FMovieFailures.contains(entry) || FileIsGone(entry)) {
            FFileIndex = following;
            continue;
        }
        bool loaded = false;
        // The show handles its own load failures: it must move past the entry before telling.
        try {
            LoadImageFile(entry);
            loaded = true;
        } catch (const std::exception& error) {
            FMovieFailures.append(entry);
            // The box comes up over the next picture, so it names the file that failed.
            failures.append(QDir::toNativeSeparators(entry) + QStringLiteral(": ") +
                            ExceptionMessage(error));
        }
        FFileIndex = following;
        if (loaded) {
            // The next tick's picture is decoded while this one is on screen, so a short
            // interval is not held up by the decode.
            ReadAheadEntry(NextMovieEntry());
            for (const QString& failure : failures)
                ReportError(failure);
            return;
        }
    }
    // Nothing in the list can be shown: the show ends, with one message rather than one per
    // file (none when every file is simply gone).
    FMoviePlaying = false;
    MovieTimer->stop();
    if (!failures.isEmpty()) ReportError(failures.first());
}
