// Building the folder image list and stepping through it: "Start by Name", "Start by Date",
// "Prev" and "Next" (also the Space, Page Down and Page Up keys), Home and End, and the wiring of every toolbar button and of the
// slideshow timer.

#include <QAction>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QToolButton>

#include "app/ui/CommandDispatch.h"
#include "app/ui/Dialogs.h"
#include "app/ui/KelvoImageUnit.h"
#include "browse/FileOperations.h"
#include "browse/FolderList.h"
#include "browse/ReadAhead.h"
#include "view/ui/ImageView.h"

void TKelvoImageForm::ConnectBrowseCommands() {
    const struct {
        QToolButton* Button;
        void (TKelvoImageForm::*Handler)();
    } buttons[] = {
        {NameSB, &TKelvoImageForm::Delete1Click},
        {AlphaSB, &TKelvoImageForm::StartAlphabetically1Click},
        {ChronoSB, &TKelvoImageForm::StartChronologically1Click},
        {PriorSB, &TKelvoImageForm::PriorSBClick},
        {NextSB, &TKelvoImageForm::Next1Click},
        {DelNextSB, &TKelvoImageForm::DeleteandNext1Click},
        {RenameAndNextSB, &TKelvoImageForm::RenameAndNextSBClick},
        {SaveNextSB, &TKelvoImageForm::SaveandNext1Click},
    };
    for (const auto& b : buttons)
        connect(b.Button, &QToolButton::clicked, this, Command(this, b.Handler));

    if (!MovieTimer) MovieTimer = new QTimer(this);
    MovieTimer->setInterval(100);
    connect(MovieTimer, &QTimer::timeout, this, Command(this, &TKelvoImageForm::MovieTimerTimer));
}

bool TKelvoImageForm::BuildFolderList(TFolderOrder order) {
    const QString& current = CurrentFileName();
    const QString start = current.left(current.lastIndexOf(QLatin1Char('/')) + 1);
    // The chooser makes every folder it shows the working folder. The window does that itself;
    // doing it here as well keeps the rule whichever chooser answers.
    if (!start.isEmpty() && QFileInfo(start).isDir()) QDir::setCurrent(start);
    const std::optional<QString> chosen = CurrentDialogs().ChooseFolder(start);
    if (!chosen) return false;
    const QString folder = QDir::current().absoluteFilePath(*chosen);
    QDir::setCurrent(folder);

    FFileList.clear();
    FFileIndex = 0;
    FFileList = CollectFolderImages(folder, order);
    return !FFileList.isEmpty();
}

void TKelvoImageForm::StartAlphabetically1Click() {
    if (!BuildFolderList(TFolderOrder::ByName)) return;
    LoadImageFile(FFileList[0]);
    setFocus(Qt::OtherFocusReason);
    ReadAheadEntry(FirstPresentFrom(FFileList, 1));
}

void TKelvoImageForm::StartChronologically1Click() {
    if (!BuildFolderList(DateTakenOrder1->isChecked() ? TFolderOrder::ByDateTaken
                                                      : TFolderOrder::ByDate))
        return;
    LoadImageFile(FFileList[0]);
    setFocus(Qt::OtherFocusReason);
    ReadAheadEntry(FirstPresentFrom(FFileList, 1));
}

void TKelvoImageForm::Next1Click() {
    if (FFileIndex >= FFileList.size()) return;
    // Entries of files deleted or renamed away keep their places but are passed over; with none
    // there after this one, the step goes one past the end as it does from the last entry.
    FFileIndex = int(FirstPresentFrom(FFileList, qsizetype(FFileIndex) + 1));
    if (FFileIndex >= FFileList.size()) return;
    // A failed load ends the command here, so the pointer stays where it was.
    LoadImageFile(FFileList[FFileIndex]);
    CenterCursorOnButton(NextSB);
    ReadAheadEntry(FirstPresentFrom(FFileList, qsizetype(FFileIndex) + 1));
}

void TKelvoImageForm::PriorSBClick() {
    if (FFileIndex <= 0) return;
    // With no file left before this entry, nothing moves, as on the first entry.
    const qsizetype previous = LastPresentUpTo(FFileList, qsizetype(FFileIndex) - 1);
    if (previous < 0) return;
    FFileIndex = int(previous);
    if (FFileIndex >= FFileList.size()) return;
    LoadImageFile(FFileList[FFileIndex]);
    CenterCursorOnButton(PriorSB);
    // The way back is the likely way on.
    ReadAheadEntry(LastPresentUpTo(FFileList, qsizetype(FFileIndex) - 1));
}

void TKelvoImageForm::FirstEntryKey() {
    const qsizetype first = FirstPresentFrom(FFileList, 0);
    if (first < FFileList.size()) ShowFolderEntry(first);
}

void TKelvoImageForm::LastEntryKey() {
    const qsizetype last = LastPresentUpTo(FFileList, FFileList.size() - 1);
    if (last >= 0 && last < FFileList.size()) ShowFolderEntry(last);
}

void TKelvoImageForm::ShowFolderEntry(qsizetype position) {
    // Already there: reloading would throw away the edits on screen for nothing.
    if (position == FFileIndex && SameFile(CurrentFileName(), FFileList[position])) return;
    FFileIndex = int(position);
    LoadImageFile(FFileList[position]);
    // From the first entry the way is on; from the last, back.
    ReadAheadEntry(position == 0 || position < FFileList.size() - 1
                       ? FirstPresentFrom(FFileList, position + 1)
                       : LastPresentUpTo(FFileList, position - 1));
}

void TKelvoImageForm::CenterCursorOnButton(QToolButton* button) {
    // Loading re-sizes and may move the window; the pointer goes back onto the button used, so
    // clicking on through a folder needs no aiming.
    QCursor::setPos(button->mapToGlobal(QPoint(button->width() / 2, button->height() / 2)));
}

void TKelvoImageForm::ReadAheadEntry(qsizetype position) {
    if (position < 0 || position >= FFileList.size()) {
        FReadAhead->Cancel();
        return;
    }
    // The picture on screen is the best guess at the size of the next one.
    const QSize current = Image->PictureSize();
    const std::optional<QSize> area = ReducedDecodeArea();
    FReadAhead->Start(FFileList[position],
                      std::size_t(current.width()) * std::size_t(current.height()) * 4,
                      AutoRotate1->isChecked(),
                      area ? TImageView::FittedInto(*area) : std::function<QSize(QSize)>());
}
