#include "app/ui/KelvoImageUnit.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QRubberBand>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <exception>

#include "app/ui/BusyCursor.h"
#include "app/ui/CommandDispatch.h"
#include "app/ui/FrameExtents.h"
#include "app/ui/ImageHelpForm.h"
#include "base/FlagScope.h"
#include "base/IniFile.h"
#include "base/KelvoError.h"
#include "browse/ReadAhead.h"
#include "browse/ui/DirSelForm.h"
#include "hotspot/CommandLineCorrection.h"
#include "hotspot/ui/BrennForm.h"
#include "image/EmbeddedProfile.h"
#include "image/ImageLoader.h"
#include "image/LosslessJpeg.h"
#include "info/ui/FileTypeRegistration.h"
#include "tone/ui/GraphForm.h"
#include "tone/ui/TrackBarForms.h"
#include "transform/ui/RotationTrackBarForm.h"
#include "view/ui/ImageView.h"

namespace {

// The window whose folder chooser, not made yet, answers the real dialogs (CreateToolWindows).
const TKelvoImageForm* GChooserOwner = nullptr;
QtDialogs* GChooserDialogs = nullptr;

QString WithTrailingSeparator(const QString& folder) {
    QString result = QDir::fromNativeSeparators(folder);
    if (!result.endsWith(QLatin1Char('/'))) result += QLatin1Char('/');
    return result;
}

}  // namespace

TKelvoImageForm::TKelvoImageForm(const QString& exeDir, QStringList arguments, QWidget* parent)
    : QWidget(parent, Qt::Window), FArguments(std::move(arguments)) {
    setObjectName(QStringLiteral("KelvoImageForm"));
    setWindowTitle(QStringLiteral("KelvoImageForm"));
    setFocusPolicy(Qt::StrongFocus);
    FExeDir = WithTrailingSeparator(exeDir);

    OpenDialog1.Caption = QStringLiteral("Open");
    OpenDialog1.Filters = {
        QStringLiteral("JPEGs|*.JPG"),
        QStringLiteral("GIFs|*.GIF"),
        QStringLiteral("BMPs|*.BMP"),
        QStringLiteral("PNGs|*.PNG"),
        QStringLiteral("TIFFs|*.TIF;*.TIFF"),
        QStringLiteral("HEIC/AVIF|") + ImageFilePatterns(TImageFileType::Heif),
        QStringLiteral("WebP|") + ImageFilePatterns(TImageFileType::Webp),
        QStringLiteral("Camera RAW|") + ImageFilePatterns(TImageFileType::Raw),
        QStringLiteral("All Image Files|*.JPG;*.JPEG;*.JPE;*.GIF;*.BMP;*.PNG;*.TIF;*.TIFF;") +
            ImageFilePatterns(TImageFileType::Heif) + QLatin1Char(';') +
            ImageFilePatterns(TImageFileType::Webp) + QLatin1Char(';') +
            ImageFilePatterns(TImageFileType::Raw),
    };
    OpenDialog1.FilterIndex = 1;

    FViewport = new QWidget(this);
    FContent = new QWidget(FViewport);
    CreateToolbar();
    Image = new TImageView(FContent);
    HorzScrollBar = new QScrollBar(Qt::Horizontal, this);
    VertScrollBar = new QScrollBar(Qt::Vertical, this);
    for (QScrollBar* bar : {HorzScrollBar, VertScrollBar}) {
        bar->setFocusPolicy(Qt::NoFocus);
        bar->setRange(0, 0);
        bar->hide();
        connect(bar, &QScrollBar::valueChanged, this, [this] { LayoutClientArea(); });
    }
    CreateMenus();

    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setInterval(100);
    MovieTimer = new QTimer(this);
    FReadAhead = std::make_unique<TReadAhead>();
    ConnectCommands();

    // The designed outer size, centred on the screen.
    resize(DesignedWidth, DesignedHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.left() + (area.width() - DesignedWidth) / 2,
             area.top() + (area.height() - DesignedHeight) / 2);
    }
    LayoutClientArea();

    FormCreate();
}

TKelvoImageForm::~TKelvoImageForm() {
    FormDestroy();
}

QString TKelvoImageForm::MainSettingsFile() const {
    return MainSettingsFileName(FExeDir);
}

void TKelvoImageForm::FormCreate() {
    // Step 1 happened in the constructor (FExeDir).
    {
        const TIniFile ini(MainSettingsFile());
        FColorCastRed = ini.ReadFloat(QStringLiteral("ColorCast"), QStringLiteral("Red"), 0);
        FColorCastGreen = ini.ReadFloat(QStringLiteral("ColorCast"), QStringLiteral("Green"), 0);
        FColorCastBlue = ini.ReadFloat(QStringLiteral("ColorCast"), QStringLiteral("Blue"), 0);
        FColorCastAgainEnabled = FColorCastRed != 0 || FColorCastGreen != 0 || FColorCastBlue != 0;
    }
    UpdateMenuState();

    FScreenDC = std::make_unique<QRubberBand>(QRubberBand::Rectangle, Image);
    FOutlineShown = false;
    FResizing = false;
    FSelRight = -1;
    FSelBottom = -1;
    FPressButton = Qt::MiddleButton;

    FUndoImage.AssignEmpty();
    FSliderSource.AssignEmpty();
    FContrastSource.AssignEmpty();

    TIniFile ini(MainSettingsFile());
    const int quality = ini.ReadInteger(QStringLiteral("JPEG"), QStringLiteral("Quality"), 95);
    PellsTools1->setChecked(
        ReadYesNo(ini, QStringLiteral("Pelly"), QStringLiteral("Tools"), false));
    FOneToOne = ReadYesNo(ini, QStringLiteral("Image"), QStringLiteral("OneToOne"), false);
    AutoRotate1->setChecked(
        ReadYN(ini, QStringLiteral("Image"), QStringLiteral("AutoRotate"), true));
    DateTakenOrder1->setChecked(
        ReadYN(ini, QStringLiteral("Image"), QStringLiteral("DateTaken"), true));
    const int asked = ini.ReadInteger(QStringLiteral("Asked"), QStringLiteral("Register"), 0);
    const int movieSpeed = ini.ReadInteger(QStringLiteral("Movie"), QStringLiteral("Speed"), 100);
    FPanSpeed = ini.ReadInteger(QStringLiteral("Pan"), QStringLiteral("Speed"), 24);
    // Written before the questions, so that a start that ends during them does not ask again.
    // A failure here or in the questions is reported and creation goes on, so that the window
    // is complete whatever happened.
    RunCommand([&] { ini.WriteInteger(QStringLiteral("Asked"), QStringLiteral("Register"), 1); });

    if (asked == 0) {
        RunCommand([&] {
            OfferFileTypes(RegistrationProgramPath(FExeDir));
            CurrentDialogs().ShowMessage(
                QStringLiteral("This facility is also available under Files, Register File Types"));
        });
    }

    JPEGQuality1->setText(QStringLiteral("JPEG Quality (%1)").arg(quality));
    PanSpeed1->setText(QStringLiteral("Pan Speed (%1)").arg(FPanSpeed));
    MovieSpeedms1->setText(QStringLiteral("Movie Speed(ms) [%1]").arg(movieSpeed));

    Panel1->setVisible(PellsTools1->isChecked());
    LayoutClientArea();

    FFileList.clear();
}

void TKelvoImageForm::CreateToolWindows() {
    GraphForm.Arm([this] { return std::make_unique<TGraphForm>(this); });
    // The help reader answers through the dialogs in place when the windows were armed, as it
    // did when it was made here.
    ImageHelpForm.Arm([this, &dialogs = CurrentDialogs()] {
        return std::make_unique<TImageHelpForm>(FExeDir, dialogs);
    });
    DirSelForm.Arm([] { return std::make_unique<TDirSelForm>(); });
    // The folder chooser answers the real dialogs' folder questions: plugged in now, as the
    // window did when it was made at start, and made (it then plugs itself in) when first asked.
    if (auto* real = dynamic_cast<QtDialogs*>(&CurrentDialogs())) {
        real->SetFolderChooser([this](const QString& start) { return DirSelForm->Choose(start); });
        GChooserOwner = this;
        GChooserDialogs = real;
    }
    ContrastTrackBarForm.Arm([] { return std::make_unique<TContrastTrackBarForm>(); });
    BWTrackBarForm.Arm([] { return std::make_unique<TBWTrackBarForm>(); });
    RotationTrackBarForm.Arm([] { return std::make_unique<TRotationTrackBarForm>(); });
    BrightnessTrackBarForm.Arm([] { return std::make_unique<TBrightnessTrackBarForm>(); });
    BrennForm.Arm([this] { return std::make_unique<TBrennForm>(*this); });
}

void TKelvoImageForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (FShownOnce || event->spontaneous()) return;
    FShownOnce = true;
    // Not mapped yet: the window manager can still say which frame it will draw, so that the
    // first sizing below is the last.
    FFrameMarginsAhead = AskFrameExtents(*this);
    setFocus();
    RunCommand([this] { FormShow(); });
    WatchForFrame(kFrameChecks);
}

// A window manager decorates the window some time after it is mapped, and tells the program
// nothing when it has (nor is there a frame at all without one): the frame is looked for every
// tenth of a second for a few seconds, and the window re-fitted once it is there (when it is
// not the frame the window manager announced).
void TKelvoImageForm::WatchForFrame(int checksLeft) {
    RefitToNewFrame();
    if (checksLeft > 1 && (FrameMargins().isNull() || FFrameMarginsAhead))
        QTimer::singleShot(100, this, [this, checksLeft] { WatchForFrame(checksLeft - 1); });
}

void TKelvoImageForm::FormShow() {
    FPanned = false;
    {
        const TIniFile ini(MainSettingsFile());
        const auto flag = [&ini](const char* section, const char* key) {
            return ReadYN(ini, QLatin1String(section), QLatin1String(key), true);
        };
        const bool showHistogram = flag("Histogram", "Show");
        DeleteConfirm1->setChecked(flag("Confirmations", "Delete"));
        SaveConfirm1->setChecked(flag("Confirmations", "Save"));
        ShowPixelValues1->setChecked(flag("Confirmations", "ShowPixels"));
        ShowLineLengths1->setChecked(flag("Confirmations", "ShowLineLengths"));
        ShowHistogram1->setChecked(showHistogram);
    }

    if (FArguments.isEmpty()) {
        Paste1Click();
        return;
    }
    if (FArguments.size() == 2) {
        CommandLineHotSpotCorrection();
        return;
    }
    OpenDialog1.FileName = ExpandedArgument(0);
    ReOpenButtonClick();
    if (FOneToOne) {
        OneToOne1Click();
    } else {
        {
            TFlagScope resizing(FResizing);
            if (QScreen* screen = QGuiApplication::primaryScreen()) {
                const QRect area = screen->availableGeometry();
                SetOuterSize(area.width(), area.height());
            }
        }
        Fit1Click();
    }
    if (FArguments.size() >= 3) Timer1->start();
}

void TKelvoImageForm::Timer1Timer() {
    Timer1->stop();
    // Through the item, so that nothing runs while its command is not built (it is greyed).
    if (FArguments.size() >= 2 && FArguments[1].toUpper() == QLatin1String("HB"))
        LinearBrighten1->trigger();
}

// File systems here keep no short aliases, so the long name is the argument itself. It is made
// absolute, though: the folder chooser moves the working folder, and "Del" or "&ReOpen" on a
// relative name would then reach a different file of the same name.
QString TKelvoImageForm::ExpandedArgument(int index) const {
    const QString& argument = FArguments[index];
    return argument.isEmpty() ? argument : QFileInfo(argument).absoluteFilePath();
}

void TKelvoImageForm::CommandLineHotSpotCorrection() {
    ReOpenNamingTheFile(ExpandedArgument(0));
    // The grid is a local: it is released on every way out, before a failure is shown.
    const THotSpotFactorGrid factors(Image->Bitmap());
    ReOpenNamingTheFile(ExpandedArgument(1));
    ApplyHotSpotFactors(factors, Image->Bitmap());
    Image->update();
}

void TKelvoImageForm::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
    emit FormClosed();
}

void TKelvoImageForm::FormClose() {
    FMoviePlaying = false;
    FReadAhead->Cancel();
}

void TKelvoImageForm::FormDestroy() {
    // First of all: the worker ends here, while everything it was started from still exists.
    FReadAhead.reset();
    // A chooser never made leaves the dialogs without a way back to this window (one made
    // takes itself out when it goes).
    if (GChooserOwner == this) {
        if (!DirSelForm.IfMade()) GChooserDialogs->SetFolderChooser({});
        GChooserOwner = nullptr;
        GChooserDialogs = nullptr;
    }
    FScreenDC.reset();
    FUndoImage.AssignEmpty();
    FSliderSource.AssignEmpty();
    FContrastSource.AssignEmpty();
    FFileList.clear();
}

void TKelvoImageForm::ExitButtonClick() {
    close();
}

void TKelvoImageForm::LoadImageFile(const QString& fileName) {
    // A slider adjustment belongs to the picture it was opened on: its next move would paint
    // that picture again, now under the new file's name.
    EndSliderAdjustments();
    if (OpenDialog1.FileName != fileName) OpenDialog1.FileName = fileName;
    FPanned = false;
    // The previous picture's full decode is of no more use: cancelled, not waited for.
    Image->DropPendingPicture();
    TBitmap32& image = Image->Bitmap();
    image.SetHeight(0);
    image.SetWidth(0);
    FMetadata = {};
    FRating = {};
    {
        const TBusyCursor busy;
        // A picture read ahead is taken only when its file is still the one decoded, with the
        // same upright choice; anything else is decoded here, and its failure reported,
        // exactly as without read-ahead.
        const bool upright = AutoRotate1->isChecked();
        const std::optional<QSize> area = ReducedDecodeArea();
        TReducedPhoto ahead;
        if (area && FReadAhead->TakeReduced(fileName, upright, ahead))
            Image->ShowReduced(fileName, upright, std::move(ahead), FMetadata,
                               FullPictureArrived());
        else if (!FReadAhead->Take(fileName, image, upright, &FMetadata) &&
                 !(area && Image->ShowReducedFirst(fileName, upright, *area, FMetadata,
                                                   FullPictureArrived())))
            FMetadata = LoadPhotoFromFile(fileName, image, upright);
        // The picture read ahead came in another raster: the one shown holds it now.
        if (FMetadata.TurnedStamp != 0) FMetadata.TurnedStamp = image.ContentStamp();
    }
    FUndoImage.SetHeight(0);
    FUndoImage.SetWidth(0);
    FUndoMetadata = {};
    FRating = ReadPhotoRating(fileName, FMetadata.Source ? FMetadata.Source->Xmp() : QByteArray());
    Image->SetColorProfile(EmbeddedIccProfile(fileName, FMetadata));
    {
        const TFlagScope resizing(FResizing);
        SizeClientToImage();
    }
    ResizeForm();
    UpdateCaption();
}

std::optional<QSize> TKelvoImageForm::ReducedDecodeArea() const {
    // Fitted pictures only (1:1 shows every pixel), and never in the slideshow, which shows
    // each picture whole for its interval. The window grows at most to the work area, so the
    // picture is never shown larger than fitted into it: in device pixels, which the view
    // fills on a scaled screen.
    if (FOneToOne || FMoviePlaying || !Image->ReducedDecodeFirst()) return std::nullopt;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return screen->availableGeometry().size() * screen->devicePixelRatio();
    return QSize(DesignedWidth, DesignedHeight);
}

std::function<void(const TKeptMetadata&)> TKelvoImageForm::FullPictureArrived() {
    return [this](const TKeptMetadata& full) {
        // The pixels are the file's now: a save of them only turned since may take its
        // coefficients again, when the file stayed the one the reduced decode read.
        const bool sameFile = full.Origin && FMetadata.Origin &&
                              SameJpegOrigin(*full.Origin, *FMetadata.Origin);
        FMetadata.TurnedStamp =
            sameFile && full.TurnedStamp != 0 ? Image->Bitmap().ContentStamp() : 0;
        if (!sameFile) FMetadata.Origin = full.Origin;
    };
}

void TKelvoImageForm::OpenButtonClick() {
    if (const std::optional<QString> chosen = CurrentDialogs().OpenFile(OpenDialog1)) {
        OpenDialog1.FileName = *chosen;
        ReOpenButtonClick();
    }
}

void TKelvoImageForm::ReOpenButtonClick() {
    LoadImageFile(OpenDialog1.FileName);
}

void TKelvoImageForm::ReOpenNamingTheFile(const QString& fileName) {
    OpenDialog1.FileName = fileName;
    try {
        ReOpenButtonClick();
    } catch (const std::exception& error) {
        const QString message = ExceptionMessage(error);
        const QString shown = QDir::toNativeSeparators(fileName);
        // The platform's open errors quote the path already.
        if (message.contains(shown)) throw;
        throw KelvoError(shown + QStringLiteral(": ") + message);
    }
}

// ---- the client area: menu bar on top, then toolbar and view scrolled together ----

int TKelvoImageForm::MenuBarHeight() const {
    const int forWidth = MainMenu1->heightForWidth(width());
    return forWidth > 0 ? forWidth : MainMenu1->sizeHint().height();
}

QSize TKelvoImageForm::ScrollBarExtents() const {
    return {VertScrollBar->sizeHint().width(), HorzScrollBar->sizeHint().height()};
}

void TKelvoImageForm::LayoutClientArea() {
    const int menuHeight = MenuBarHeight();
    MainMenu1->setGeometry(0, 0, width(), menuHeight);
    const QSize bars = ScrollBarExtents();
    const int fullWidth = width();
    const int fullHeight = std::max(0, height() - menuHeight);
    // A bar appears when its range exceeds the visible extent, which the other bar may shrink.
    bool horz = false;
    bool vert = false;
    for (int pass = 0; pass < 2; ++pass) {
        horz = FHorzRange > fullWidth - (vert ? bars.width() : 0);
        vert = FVertRange > fullHeight - (horz ? bars.height() : 0);
    }
    FHorzBarShown = horz;
    FVertBarShown = vert;
    const int clientWidth = std::max(0, fullWidth - (vert ? bars.width() : 0));
    const int clientHeight = std::max(0, fullHeight - (horz ? bars.height() : 0));

    HorzScrollBar->setVisible(horz);
    VertScrollBar->setVisible(vert);
    {
        const QSignalBlocker blockHorz(HorzScrollBar);
        const QSignalBlocker blockVert(VertScrollBar);
        HorzScrollBar->setRange(0, horz ? FHorzRange - clientWidth : 0);
        HorzScrollBar->setPageStep(std::max(1, clientWidth));
        VertScrollBar->setRange(0, vert ? FVertRange - clientHeight : 0);
        VertScrollBar->setPageStep(std::max(1, clientHeight));
    }
    if (horz) HorzScrollBar->setGeometry(0, menuHeight + clientHeight, clientWidth, bars.height());
    if (vert) VertScrollBar->setGeometry(clientWidth, menuHeight, bars.width(), clientHeight);

    FViewport->setGeometry(0, menuHeight, clientWidth, clientHeight);
    const int contentWidth = std::max(FHorzRange, clientWidth);
    const int contentHeight = std::max(FVertRange, clientHeight);
    FContent->setGeometry(-HorzScrollBar->value(), -VertScrollBar->value(), contentWidth,
                          contentHeight);
    const int toolbar = Panel1->isVisibleTo(this) ? ToolbarHeight : 0;
    Panel1->setGeometry(0, 0, contentWidth, ToolbarHeight);
    Image->setGeometry(0, toolbar, contentWidth, std::max(0, contentHeight - toolbar));
}

int TKelvoImageForm::ClientWidth() const {
    return FViewport->width();
}
int TKelvoImageForm::ClientHeight() const {
    return FViewport->height();
}

void TKelvoImageForm::SetClientHeight(int height) {
    const int bar = FHorzBarShown ? ScrollBarExtents().height() : 0;
    RequestSize(QSize(width(), std::max(0, height) + MenuBarHeight() + bar));
}

void TKelvoImageForm::SetClientWidth(int width) {
    const int bar = FVertBarShown ? ScrollBarExtents().width() : 0;
    RequestSize(QSize(std::max(1, std::max(0, width) + bar), height()));
}

void TKelvoImageForm::SetOuterSize(int width, int height) {
    const QMargins frame = FrameMargins();
    RequestSize(QSize(std::max(1, width - frame.left() - frame.right()),
                      std::max(1, height - frame.top() - frame.bottom())));
}

void TKelvoImageForm::RequestSize(QSize size) {
    if (isVisible() && size != this->size()) {
        FRequestedSizes.append(size);
        // Answers that never come (a window manager may merge requests) are forgotten in time.
        if (FRequestedSizes.size() > 32) FRequestedSizes.removeFirst();
    }
    resize(size);
}

QMargins TKelvoImageForm::FrameMargins() const {
    if (FFrameMargins) return *FFrameMargins;
    // Asked of the window system each time: the widget's own copy is refreshed only when the
    // window moves, and a window manager may frame a window without moving it.
    if (const QWindow* window = windowHandle(); window && isVisible()) {
        const QMargins reported = window->frameMargins();
        return reported.isNull() && FFrameMarginsAhead ? *FFrameMarginsAhead : reported;
    }
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

QRect TKelvoImageForm::OuterGeometry() const {
    return geometry().marginsAdded(FrameMargins());
}

int TKelvoImageForm::MenuBarWidth() const {
    // The menu bar lays out every item in one row, also those it then hides behind its
    // overflow button, so the last item's right edge is the width the row needs.
    int right = 0;
    for (QAction* action : MainMenu1->actions())
        if (action->isVisible())
            right = std::max(right, MainMenu1->actionGeometry(action).right() + 1);
    const QStyle* style = MainMenu1->style();
    return right + style->pixelMetric(QStyle::PM_MenuBarHMargin, nullptr, MainMenu1) +
           style->pixelMetric(QStyle::PM_MenuBarPanelWidth, nullptr, MainMenu1);
}

void TKelvoImageForm::SetScrollRanges(int horizontal, int vertical) {
    FHorzRange = std::max(0, horizontal);
    FVertRange = std::max(0, vertical);
    if (FHorzRange == 0) HorzScrollBar->setValue(0);
    if (FVertRange == 0) VertScrollBar->setValue(0);
    LayoutClientArea();
}

void TKelvoImageForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutClientArea();
    if (event->spontaneous()) {
        const qsizetype echo = FRequestedSizes.indexOf(event->size());
        if (echo >= 0) {
            // The answer to a request of ours; the answers to the later ones are on their way.
            FRequestedSizes.remove(0, echo + 1);
            return;
        }
    }
    RunCommand([this] { FormResize(); });
}

void TKelvoImageForm::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    // Decorating the window moves it (the frame pushes the client down and right).
    RefitToNewFrame();
}
