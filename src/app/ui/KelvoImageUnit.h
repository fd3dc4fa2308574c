#pragma once
// TKelvoImageForm, the main window. It owns every piece of state the commands work on, so this
// declaration is the map of the whole program: each field is listed here with its starting
// value, and each method is defined in the file of the subsystem it belongs to:
//   app/ui/KelvoImageUnit.cpp  creation, first show, command line, closing, loading
//   app/ui/Caption.cpp         caption, stored check marks, keys
//   app/ui/MenuBar.cpp         the menu bar, built and wired from the menu tables
//                              (app/ui/MenuTable.h; one table per menu, beside its commands)
//   view/ui/ZoomFit.cpp        display modes, X2 / 1/2 / 1/4, window sizing, panning
//   view/ui/Undo.cpp           undo snapshot, edit step, clipboard
//   view/ui/Pointer.cpp        the mouse on the image: crop, pan, readout, click modes
//   tone/ui/ClickCorrections.cpp  the corrections the click modes serve
//   browse/ui/*.cpp            folder image list, stepping, file actions, slideshow
//   tone/ui/ToneCommands.cpp   the "Bright" menu's whole-image commands and their graphs
// Handlers declared without a definition belong to later work; their menu rows name no
// handler yet, so their items stay greyed until they exist.

#include <QMargins>
#include <QPoint>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/ui/Dialogs.h"
#include "app/ui/OnFirstUse.h"
#include "base/OnFailure.h"
#include "browse/PhotoRating.h"
#include "image/Bitmap32.h"
#include "image/PhotoMetadata.h"
#include "tone/ToneTables.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QRubberBand;
class QScrollBar;
class QTimer;
class QToolButton;
class TImageView;
class TGraphForm;
class TImageHelpForm;
class TDirSelForm;
class TContrastTrackBarForm;
class TBWTrackBarForm;
class TRotationTrackBarForm;
class TBrightnessTrackBarForm;
class TBrennForm;
class TReadAhead;
struct TToneGraphs;
struct TSelection;
enum class TFolderOrder;

// The window position and outer size recorded with the undo snapshot.
struct TUndoBounds {
    int Top = 0;
    int Left = 0;
    int Height = 0;
    int Width = 0;
};

class TKelvoImageForm : public QWidget {
    Q_OBJECT

  public:
    // exeDir: the program's folder (with or without a trailing separator), where the settings
    // file and the help file live. arguments: the command line without the program's name.
    // Creation runs FormCreate; the first show runs FormShow.
    // Every dialog goes through CurrentDialogs(), so tests script them by installing a
    // ScriptedDialogs.
    TKelvoImageForm(const QString& exeDir, QStringList arguments, QWidget* parent = nullptr);
    ~TKelvoImageForm() override;

    // Arms the eight other windows: each is made, hidden, on its first use (see OnFirstUse.h).
    // Program start calls it right after constructing the main window and before showing it;
    // a main window without it has no tool windows.
    void CreateToolWindows();

    // ---- the designed size of the toolbar ----
    static constexpr int ToolbarHeight = 30;
    static constexpr int MinimumWidthWithoutToolbar = 365;
    static constexpr int DesignedWidth = 615;
    static constexpr int DesignedHeight = 480;

    // ---- state (every field with its starting value) ----
    QString FExeDir;          // the program's folder, ending with a separator
    TBitmap32 FUndoImage;     // undo snapshot; empty: nothing to undo
    TUndoBounds FUndoBounds;  // window position and outer size with the snapshot
    // What the picture's file carries besides pixels, written into every JPEG saved from it; the
    // snapshot keeps its own, so "&Undo" brings back the orientation state with the pixels.
    TKeptMetadata FMetadata;      // none: a pasted picture, or one from another format
    TKeptMetadata FUndoMetadata;  // goes with FUndoImage
    TBitmap32 FSliderSource;      // source kept while a slider window is open
    TBitmap32 FContrastSource;    // source kept while the contrast slider is open
    bool FPanned = false;         // scroll ranges are set to the image size
    bool FResizing = false;       // the sizing rule must not run now
    bool FOneToOne = false;       // display mode preference: true 1:1, false Fit
    int FPanSpeed = 24;           // pixels per arrow-key pan step
    bool FMakeWhiteMode = false;  // click modes
    bool FMakeBlackMode = false;
    bool FBlackWhiteStep1 = false;
    bool FBlackWhiteStep2 = false;
    bool FMakeGreyMode = false;
    bool FRemoveCastMode = false;
    bool FSubtractMode = false;
    TColor32 FBlackPoint = 0;  // black reference of "Make Black/White"
    int FPressX = 0;           // image position of the last ordinary press
    int FPressY = 0;
    int FSelRight = -1;  // edges of the selection being released; -1 none
    int FSelBottom = -1;
    Qt::MouseButton FPressButton = Qt::MiddleButton;  // middle: no press in progress
    // The selection outline: a band inside the view, since a top-level band cannot be placed
    // on every windowing system.
    std::unique_ptr<QRubberBand> FScreenDC;
    bool FOutlineShown = false;
    QRect FOutlineRect;  // outline corners in view coordinates: press point, latest point
    // Line measurement, in image pixels: the image point of the last ordinary left press and
    // the distance from it to the pointer.
    QPoint FLastClickPos;
    bool FLastClickSet = false;  // a left press has given FLastClickPos
    int FLineLength = 0;         // last measured line length; 0 none
    QString FPixelText;          // pixel readout shown in the caption
    QStringList FFileList;       // the folder image list
    int FFileIndex = 0;          // current entry of FFileList
    TPhotoRating FRating;        // the shown file's rating and pick, read with it
    bool FMoviePlaying = false;  // the slideshow runs
    double FColorCastRed = 0;    // last colour-cast factors
    double FColorCastGreen = 0;
    double FColorCastBlue = 0;
    // "Remove Color Cast Again" is offered: factors were stored at start, or a colour cast has
    // been applied since.
    bool FColorCastAgainEnabled = false;
    // "1:1" or "Fit" has applied FOneToOne; until then every display item is enabled.
    bool FDisplayModeApplied = false;
    // The show's own bookkeeping: the entries it could not load (skipped from then on), and
    // whether a tick (its load or its error box) is still running.
    QStringList FMovieFailures;
    bool FMovieTickRunning = false;
    // The entry the user most likely steps to next, decoded in the background; LoadImageFile
    // takes its picture when the file is unchanged. Created with the window, gone before it.
    std::unique_ptr<TReadAhead> FReadAhead;

    // The command line without the program's name.
    QStringList FArguments;
    // The Open dialog's request; its FileName is the current file name, so the dialog always
    // starts at the current file and every command that needs the current file reads it here.
    FileDialogRequest OpenDialog1;
    const QString& CurrentFileName() const { return OpenDialog1.FileName; }

    // ---- controls ----
    QMenuBar* MainMenu1 = nullptr;
    QWidget* Panel1 = nullptr;               // the toolbar, ToolbarHeight high
    QToolButton* NameSB = nullptr;           // "Del"
    QToolButton* AlphaSB = nullptr;          // "Start by Name"
    QToolButton* ChronoSB = nullptr;         // "Start by Date"
    QToolButton* PriorSB = nullptr;          // "Prev"
    QToolButton* NextSB = nullptr;           // "Next"
    QToolButton* DelNextSB = nullptr;        // "Del + Next"
    QToolButton* RenameAndNextSB = nullptr;  // "Rename + Next"
    QToolButton* SaveNextSB = nullptr;       // "Save + Next"
    QLabel* Label1 = nullptr;                // position in the folder list
    TImageView* Image = nullptr;             // the view; it owns the current image
    QScrollBar* HorzScrollBar = nullptr;
    QScrollBar* VertScrollBar = nullptr;
    QTimer* Timer1 = nullptr;      // start-up one-shot, 100 ms
    QTimer* MovieTimer = nullptr;  // slideshow steps

    // "&Files"
    QMenu* Files1 = nullptr;
    QAction* OpenButton = nullptr;
    QAction* ReOpenButton = nullptr;
    QAction* Save1 = nullptr;
    QAction* SaveAs1 = nullptr;
    QAction* SaveAsTransparentGIF1 = nullptr;
    QAction* ConvertTo1 = nullptr;
    QAction* SaveUnique1 = nullptr;
    QAction* JPEGQuality1 = nullptr;
    QAction* PanSpeed1 = nullptr;
    QAction* Paste1 = nullptr;
    QAction* Copy1 = nullptr;
    QAction* PellsTools1 = nullptr;
    QAction* RegisterFileTypes1 = nullptr;
    QAction* DeleteConfirm1 = nullptr;
    QAction* SaveConfirm1 = nullptr;
    QAction* ShowPixelValues1 = nullptr;
    QAction* ShowLineLengths1 = nullptr;
    QAction* AutoRotate1 = nullptr;
    QAction* DateTakenOrder1 = nullptr;
    QAction* Movie1 = nullptr;
    QAction* MovieSpeedms1 = nullptr;
    QAction* ExtendedInfo1 = nullptr;
    QAction* Print1 = nullptr;
    // items of the menu bar itself
    QAction* DoubleButton = nullptr;   // "X&2"
    QAction* HalfButton = nullptr;     // "1&/2"
    QAction* QuarterButton = nullptr;  // "1/4"
    QAction* OneToOne1 = nullptr;      // "1:1"
    QAction* Fit1 = nullptr;           // "Fit"
    // "Rot"
    QMenu* Rot1 = nullptr;
    QAction* CCWButton = nullptr;
    QAction* CWButton = nullptr;
    QAction* FlipButton = nullptr;
    QAction* MirrorButton = nullptr;
    QAction* Rotate1 = nullptr;
    // "Bright"
    QMenu* Bright1 = nullptr;
    QAction* LinearBrighten1 = nullptr;
    QAction* ContrastStretch1 = nullptr;
    QAction* Brightness1 = nullptr;
    QAction* Contrast1 = nullptr;
    QAction* MakeWhite1 = nullptr;
    QAction* MakeBlack1 = nullptr;
    QAction* MakeBlackWhite1 = nullptr;
    QAction* MakeGrey1 = nullptr;
    QAction* Subtract1 = nullptr;
    QAction* RemoveColorCast1 = nullptr;
    QAction* RemoveColorCastAgain1 = nullptr;
    QAction* HistoGram1 = nullptr;
    QAction* ShowHistogram1 = nullptr;
    QAction* MakeBlackandWhite1 = nullptr;
    QAction* Negative1 = nullptr;
    QAction* IsoBrightness32 = nullptr;
    QAction* IsoBrightness64 = nullptr;
    QAction* IsoBrightness128 = nullptr;
    QAction* Washout1 = nullptr;
    // more items of the menu bar itself
    QAction* Undo1 = nullptr;
    QAction* HSR1 = nullptr;
    QAction* N1 = nullptr;  // "?"
    QAction* ExitButton = nullptr;

    // ---- the other windows, armed by CreateToolWindows, each made on its first use ----
    TOnFirstUse<TGraphForm> GraphForm;
    TOnFirstUse<TImageHelpForm> ImageHelpForm;
    TOnFirstUse<TDirSelForm> DirSelForm;
    TOnFirstUse<TContrastTrackBarForm> ContrastTrackBarForm;
    TOnFirstUse<TBWTrackBarForm> BWTrackBarForm;
    TOnFirstUse<TRotationTrackBarForm> RotationTrackBarForm;
    TOnFirstUse<TBrightnessTrackBarForm> BrightnessTrackBarForm;
    TOnFirstUse<TBrennForm> BrennForm;

    // ---- lifecycle (KelvoImageUnit.cpp) ----
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();
    void Timer1Timer();
    void ExitButtonClick();
    // Greys or enables the menu items whose rows carry an enabling rule; run after anything
    // such a rule reads has changed.
    void UpdateMenuState();
    // The two-argument command line: argument 1 gives the factors, argument 2 is corrected.
    void CommandLineHotSpotCorrection();
    QString ExpandedArgument(int index) const;  // a command-line file argument, made absolute

    // ---- loading (KelvoImageUnit.cpp) ----
    void LoadImageFile(const QString& fileName);
    // The area a picture is fitted into when a large JPEG is to be decoded reduced first
    // (view/ui/ImageView.h); none when pictures are decoded whole.
    std::optional<QSize> ReducedDecodeArea() const;
    // What a picture shown reduced first gets when its full decode is swapped in.
    std::function<void(const TKeptMetadata&)> FullPictureArrived();
    void OpenButtonClick();
    void ReOpenButtonClick();
    // "&ReOpen" of fileName for the commands that load two files in one go (the hot-spot
    // correction): a failure names the file before its message ("<file>: JPEG error #53"), so
    // the user can tell which of the two was at fault.
    void ReOpenNamingTheFile(const QString& fileName);

    // ---- caption, menus, keys (Caption.cpp) ----
    void UpdateCaption();
    // The caption as composed by UpdateCaption (the window title escapes Qt's "[*]" marker).
    const QString& Caption() const { return FCaption; }
    void PellsTools1Click();
    void DeleteConfirm1Click();
    void SaveConfirm1Click();
    void ShowPixelValues1Click();
    void ShowLineLengths1Click();
    void AutoRotate1Click();
    void DateTakenOrder1Click();
    void ShowHistogram1Click();
    void FormKeyDown(int key, Qt::KeyboardModifiers modifiers, bool& handled);
    // The culling keys beside the written ones: stepping, deleting, renaming and rating.
    void CullingKeyDown(int key, Qt::KeyboardModifiers modifiers, bool& handled);
    bool ToolbarShown() const;
    void N1Click();

    // ---- display modes and window sizing (ZoomFit.cpp) ----
    void OneToOne1Click();
    void Fit1Click();
    void DoubleButtonClick();
    void HalfButtonClick();
    void QuarterButtonClick();
    void ReduceImage(int n);
    void ResizeForm();
    void FormResize();
    // Runs ResizeForm again when the window frame differs from the one the last run allowed
    // for: the window manager decorates a window only after it is shown.
    void RefitToNewFrame();
    void EnableButtons(bool enabled);
    // Puts the hourglass away without re-fitting: for a command that fails in its busy state.
    void EndBusyCursor();
    bool Busy() const { return FBusy; }
    void PanSpeed1Click();
    // One arrow-key pan step; dx and dy are -1, 0 or 1.
    void PanView(int dx, int dy);
    // The client area: the part of the window below the menu bar that the scroll bars leave.
    int ClientWidth() const;
    int ClientHeight() const;
    void SetClientWidth(int width);
    void SetClientHeight(int height);
    // Client height, then client width, set to the image's size. The next ResizeForm then adds
    // the toolbar's height in 1:1 mode, so the whole image stays visible below the toolbar.
    // Every command that changes the image's size sizes the client through this.
    void SizeClientToImage();
    void SetScrollRanges(int horizontal, int vertical);
    // The window with its frame, as the window manager draws it: the outer size and position the
    // sizing rule and the undo bounds work with.
    QRect OuterGeometry() const;
    // The frame's width on each side. The window system reports it only once the window manager
    // has decorated the window (never offscreen); until then it reads 0. FFrameMargins, when set,
    // stands for the window system's answer.
    QMargins FrameMargins() const;
    std::optional<QMargins> FFrameMargins;
    // The smallest client width that shows every item of the menu bar without an overflow
    // button, with the current font and style.
    int MenuBarWidth() const;
    int HorzScrollRange() const { return FHorzRange; }
    int VertScrollRange() const { return FVertRange; }

    // ---- undo and clipboard (Undo.cpp) ----
    // The undo snapshot: the image (copied by `copy` when given), its metadata and the window
    // bounds.
    void SaveUndoSnapshot(const TBitmap32::TPixelCopy& copy = {});
    // The same for a command that writes every pixel of the image from the snapshot: the image's
    // store becomes the snapshot as it is, and the image gets one of the same size (the old
    // snapshot's when it fits) for the command to fill. Returns the guard the command keeps
    // until the image is whole again: should the command fail before, the image gets its
    // pixels back and nothing is left to undo.
    [[nodiscard]] TOnFailure ExchangeUndoSnapshot();
    void BeginImageEdit();
    // One whole-image command that may change the image's size: the edit step, then change
    // (which may read the snapshot just taken in FUndoImage), the client sized to the result and
    // the buttons back. A failure puts the hourglass away and leaves the snapshot for Undo.
    void EditImageResizing(const std::function<void()>& change);
    // Every command that moves pixels to other places (the turns, flip, mirror, free rotation,
    // crop) calls this after its edit step: the pixels no longer stand as the file stored them,
    // so a JPEG saved from them gets EXIF Orientation 1. "&Undo" brings the state back.
    void MarkPixelsReoriented();
    void Paste1Click();

    // ---- the mouse on the image (Pointer.cpp) ----
    // Positions are in the view's logical pixels; on a scaled screen a fractional position
    // names a device pixel (the picture pixel under it at 1:1).
    void ImageMouseDown(Qt::MouseButton button, QPointF position);
    void ImageMouseMove(QPointF position);
    void ImageMouseUp(Qt::MouseButton button, QPointF position);
    // The image pixel under a point of the view, through the scale the view shows (may lie
    // outside the image).
    QPoint ViewToImage(QPointF position) const;

    // ---- the corrections a click mode serves (tone/ui/ClickCorrections.cpp) ----
    // A reference that would divide by zero throws before the image, the snapshot or the
    // stored factors change.
    void MakeWhiteAt(TColor32 reference);
    void RemoveColorCastAt(TColor32 reference);
    void MakeBlackWhiteAt(TColor32 black, TColor32 white);
    void MakeGreyAt(TColor32 reference);
    void MakeBlackAt(TColor32 reference);
    // With the "Bright" menu's commands (tone/ui/ToneCommands.cpp), whose frame it shares: the
    // subtraction, then the equalisation, shown as "&Linear" shows its own.
    void SubtractAt(TColor32 reference);
    // The factors into "[ColorCast]", and applied to the whole image.
    void SaveColorCast();
    void ApplyColorCast();

    // ---- saving (image/ui/SaveCommands.cpp) ----
    // Writes the current image to fileName in the format of its ending; the image, the current
    // file name and the caption stay as they are.
    void SaveImageFile(const QString& fileName);
    // The Save dialog's request, kept so that the dialog opens on the filter entry chosen last.
    FileDialogRequest SaveDialog1;

    // ---- tone commands and their graphs (tone/ui/ToneCommands.cpp) ----
    // Shows in the graph window what a tone operation published: the histogram pairs only
    // while "Show Histogram" is checked, the transfer table always. An "after" pair shows the
    // window with all three charts and hands the keyboard focus back to the main window.
    void PlotToneGraphs(const TToneGraphs& graphs);
    // Ends every slider adjustment in progress by hiding its window: the adjustment's result
    // stays, and no later move of a slider re-applies it to whatever the image has become.
    void EndSliderAdjustments();
    // The histogram of FSliderSource, kept while the source stays as it is, and that of
    // FContrastSource: the "before" of every slider re-apply is its kept source.
    TToneGraphs FSliderGraphs;
    TToneGraphs FContrastGraphs;
    // The content stamps of FUndoImage and FContrastSource when a contrast move last copied the
    // one into the other: while both are unchanged, the snapshot is still the source.
    std::uint64_t FContrastUndoStamp = 0;
    std::uint64_t FContrastSourceStamp = 0;

    // ---- later work: declared so the map is complete, defined by their subsystems ----
    void Save1Click();
    void SaveAs1Click();
    void SaveAsTransparentGIF1Click();
    void ConvertTo1Click();
    void SaveUnique1Click();
    void JPEGQuality1Click();
    void Copy1Click();
    void Undo1Click();
    void RegisterFileTypes1Click();
    void Movie1Click();
    void MovieSpeedms1Click();
    void ExtendedInfo1Click();
    void Print1Click();
    void CCWButtonClick();
    void CWButtonClick();
    void FlipButtonClick();
    void MirrorButtonClick();
    void Rotate1Click();
    void LinearBrighten1Click();
    void ContrastStretch1Click();
    void Brightness1Click();
    void Contrast1Click();
    void MakeWhite1Click();
    void MakeBlack1Click();
    void MakeBlackWhite1Click();
    void MakeGrey1Click();
    void Subtract1Click();
    void RemoveColorCast1Click();
    void RemoveColorCastAgain1Click();
    void HistoGram1Click();
    void MakeBlackandWhite1Click();
    void Negative1Click();
    void IsoBrightness32Click();
    void IsoBrightness64Click();
    void IsoBrightness128Click();
    void Washout1Click();
    void HSR1Click();
    void Delete1Click();
    void StartAlphabetically1Click();
    void StartChronologically1Click();
    void PriorSBClick();
    void Next1Click();
    void DeleteandNext1Click();
    void RenameAndNextSBClick();
    void SaveandNext1Click();

    // ---- folder list, file actions, slideshow (browse/ui/*.cpp) ----
    // The folder chooser, then the list of the chosen folder in this order; true when the user
    // confirmed a folder and the list came out non-empty.
    bool BuildFolderList(TFolderOrder order);
    void CenterCursorOnButton(QToolButton* button);
    // Home and End: the folder list's first and last entries whose files are there.
    void FirstEntryKey();
    void LastEntryKey();
    void ShowFolderEntry(qsizetype position);
    // Sets the shown file's rating (keys 0-5, P, X), written into the file or its sidecar.
    void RateCurrentPhoto(TPhotoRating rating);
    void MovieTimerTimer();
    // Reads the entry at position ahead, when there is one; otherwise drops what was ahead.
    void ReadAheadEntry(qsizetype position);
    // The position the show's next tick loads; -1 when it has nothing left to show.
    qsizetype NextMovieEntry() const;

  signals:
    // The main window has closed; the program ends.
    void FormClosed();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // MenuBar.cpp: the bar and its items from the menu tables, and their handlers.
    void CreateMenus();
    void ConnectMenuCommands();
    void CreateToolbar();
    void ConnectCommands();
    // Toolbar buttons and the show timer (browse/ui/FolderCommands.cpp).
    void ConnectBrowseCommands();
    // The view's mouse events (Pointer.cpp).
    void ConnectPointer();
    void ShowOutline();
    void PanTo(QPointF position);
    void CropToSelection(const TSelection& selection);
    void LayoutClientArea();
    int MenuBarHeight() const;
    QSize ScrollBarExtents() const;
    void SetOuterSize(int width, int height);
    // Every size the window asks for goes through here and is remembered until the window
    // system answers: a window manager answers each request late and in turn, so the answer to
    // an earlier one can arrive after a later one was made. Such an echo (resizeEvent) is the
    // window system catching up, not the user resizing, and running the sizing rule on it would
    // size the window after a size it no longer has.
    void RequestSize(QSize size);
    QList<QSize> FRequestedSizes;
    QString MainSettingsFile() const;
    static constexpr int kFrameChecks = 50;
    void WatchForFrame(int checksLeft);

    bool FShownOnce = false;
    bool FBusy = false;                // the busy cursor is up
    bool FClientSizedToImage = false;  // see SizeClientToImage
    int FHorzRange = 0;
    int FVertRange = 0;
    bool FHorzBarShown = false;
    bool FVertBarShown = false;
    QWidget* FViewport = nullptr;  // the client area
    QWidget* FContent = nullptr;   // toolbar and view, moved by the scroll positions
    QString FCaption;
    QMargins FFrameMarginsAllowed;  // the frame the last ResizeForm allowed for
    // The frame the window manager announced before the window was mapped (asked for on the
    // first show, app/ui/FrameExtents.h): FrameMargins() gives it until the window system
    // reports the frame itself, so the first sizing allows for the frame and no re-fit follows
    // when it turns up. Empty when the window manager does not answer such a request.
    std::optional<QMargins> FFrameMarginsAhead;
};
