// The desktop's menus as data: every command's identifier, label, check-mark rule and handler,
// the layout of the menu bar, the accelerators and the toolbar. The desktop builds its menus,
// shortcuts and toolbar from these tables; tests read them without a window. Mode commands take
// their labels and their availability from the mode table.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "detect/mode_id.h"

namespace fw {

class Session;

// Command identifiers the front ends refer to by name.
namespace cmd {
inline constexpr int kFileNew = 57600;
inline constexpr int kFileOpen = 57601;
inline constexpr int kFileSave = 57603;
inline constexpr int kFileSaveAs = 57604;
inline constexpr int kRecentFile = 57616;
inline constexpr int kExit = 57665;
inline constexpr int kUndo = 57643;
inline constexpr int kCut = 57635;
inline constexpr int kCopy = 57634;
inline constexpr int kPaste = 57637;
inline constexpr int kPrint = 57607;
inline constexpr int kToolbar = 59392;
inline constexpr int kStatusBar = 59393;
inline constexpr int kSplit = 57653;
inline constexpr int kPreviousPane = 57681;
inline constexpr int kShowDisplayDialog = 2011;
inline constexpr int kDisplayDialogTopmost = 2012;
inline constexpr int kSetLbpVar = 32805;
inline constexpr int kZoom = 32772;
inline constexpr int kPan = 32773;
inline constexpr int kFourOrOneViews = 32774;
inline constexpr int kVideoOnLine = 32775;
inline constexpr int kGenerateSamples = 32798;
inline constexpr int kGetVoc = 32801;
inline constexpr int kFuzzyCMeans = 32792;
inline constexpr int kGeneratePositive = 32810;
inline constexpr int kGradOfView00 = 20006;
inline constexpr int kWaveletTransform = 1068;
inline constexpr int kFrameDifference = 20001;
inline constexpr int kMei = 20002;
inline constexpr int kColourTesting = 20004;
inline constexpr int kGrads = 20005;
inline constexpr int kSnakeModelMark = 2019;
inline constexpr int kBottomRightGrad = 2007;
inline constexpr int kBottomRightDifference = 2018;
inline constexpr int kSaveDisplayPicture = 2022;
inline constexpr int kInfrared = 32778;
inline constexpr int kPtz = 201;
inline constexpr int kInfraredParameters = 1066;
inline constexpr int kShiftWavelet = 2023;
inline constexpr int kPseudoColour = 301;
inline constexpr int kOfflineDetection = 32787;
inline constexpr int kOnlineDetection = 32790;
inline constexpr int kSnakeModel = 7003;
inline constexpr int kHistogram = 2020;
inline constexpr int kAutoThreshold = 2021;
inline constexpr int kWaveletView = 5001;
inline constexpr int kRenameByTime = 32794;
inline constexpr int kAbout = 57664;
// The desktop's own commands for daily use: playback, the panes' fit, the alarm interval list.
inline constexpr int kPlayPause = 33101;
inline constexpr int kNextFrame = 33102;
inline constexpr int kPreviousFrame = 33103;
inline constexpr int kFirstFrame = 33104;
inline constexpr int kLastFrame = 33105;
inline constexpr int kLoop = 33106;
inline constexpr int kPlayAtFileRate = 33107;
inline constexpr int kFitToPane = 33108;
inline constexpr int kAlarmIntervals = 33109;
// The mode the offline detection sequence ends in ("PLDP").
inline constexpr ModeId kOfflineDetectionMode = ModeId::Pldp;
// The modes of the online detection sequence: the classifier mode it prepares ("RealAdaBoost
// Detectiong"), then the mode it watches in ("Engineering FWX").
inline constexpr ModeId kOnlineDetectionFirstMode = ModeId::RealAdaBoost;
inline constexpr ModeId kOnlineDetectionMode = ModeId::Engineering;
}  // namespace cmd

// Who carries out a command.
enum class CommandHandler {
  None,        // no handler: shown disabled
  Pending,     // its work is not built yet: shown disabled
  Mode,        // a detection mode: enabled when the mode table has it
  Analysis,    // an operation of the analysis workbench (top-left pane, snake, histogram)
  ControlBar,  // pictures, auto threshold, offline detection
  Pane,        // commands of the image panes' menus
  Document,    // tools, dialogs, the shared interaction state
  Frame,       // the main window
  App,         // new, exit, about, recent files
};

// What a command's check mark shows.
enum class CheckRule {
  None,
  CurrentMode,           // the mode is current (menu modes, 7001 and above, only)
  AuxiliaryOperation,    // the auxiliary operation (histogram, snake) is this one
  TopLeftOperation,      // the top-left pane's operation is this one
  LogDisplay,            // "Display in log mode"
  FftCircle,             // "Display 2D FFT Circle Intensity"
  WaveletView,           // the wavelet view is on
  BottomRightOperation,  // the bottom-right operation is this one
  TopLeftGrad,
  BottomLeftGrads,
  ColourTesting,
  SnakeModelMark,
  Tool,  // the current mouse tool is this one
  FourViews,
  Ptz,
  DisplayDialogShown,
  DisplayDialogTopmost,
  LbpVarShown,
  SelectionSquare,
  ToolbarShown,
  StatusBarShown,
  Online,
  InfraredMode,  // the current mode is infrared detection
  Loop,
  FitToPane,
  AlarmIntervalsShown,
};

struct CommandInfo {
  int id;
  // Exactly as the menu shows it, mnemonic and accelerator text included; null for the mode
  // commands and the analyses, which take their labels from the mode table and the workbench.
  const char* label;
  CheckRule check;
  CommandHandler handler;
};

// Everything the check marks depend on.
struct CommandContext {
  ModeId mode = ModeId::None;
  int auxiliaryOperation = 0;
  int topLeftOperation = 0;
  bool logDisplay = false;
  bool fftCircle = false;
  bool waveletView = false;
  int bottomRightOperation = 0;
  bool topLeftGrad = false;
  bool bottomLeftGrads = false;
  bool colourTesting = false;
  bool snakeModelMark = false;
  int currentTool = 0;
  bool fourViews = true;
  bool ptz = false;
  bool displayDialogShown = false;
  bool displayDialogTopmost = false;
  bool lbpVarShown = false;
  bool selectionSquare = false;
  bool toolbarShown = true;
  bool statusBarShown = true;
  bool online = false;
  bool looping = true;
  bool fitToPane = false;
  bool alarmIntervalsShown = false;
};

std::span<const CommandInfo> Commands();
// The command with this identifier, or null.
const CommandInfo* FindCommand(int id);
// The label the menu shows; a mode command's comes from the mode table, an analysis's from the
// workbench.
std::string_view CommandLabel(const CommandInfo& command);
// Whether the command can be chosen: it has a handler and its work exists.
bool IsCommandEnabled(const CommandInfo& command);
// Why a disabled command cannot be chosen, for its tool tip: its feature (or its mode) is not in
// this build yet. Null for enabled commands and for those left without a handler on purpose.
const char* UnavailableReason(const CommandInfo& command);
bool IsCommandChecked(const CommandInfo& command, const CommandContext& context);
// True for the commands that carry a check mark.
inline bool IsCheckable(const CommandInfo& command) {
  return command.check != CheckRule::None;
}

// The menu bar, row by row: a submenu opens with its title and closes with End.
enum class MenuRowKind { Submenu, End, Separator, Command };
struct MenuRow {
  MenuRowKind kind;
  int id;             // Command rows
  const char* title;  // Submenu rows
};
std::span<const MenuRow> MenuBar();
// Identifiers of a submenu's commands, nested submenus included, in menu order (empty when no
// submenu has this title).
std::vector<int> SubmenuCommands(std::string_view title);

// The accelerator table: key sequences in Qt's portable notation and their commands.
struct Accelerator {
  const char* keys;
  int id;
};
std::span<const Accelerator> Accelerators();
// The player's keys (Space, the arrows, "." and ",", Home, End), beside the accelerator table.
std::span<const Accelerator> PlayerKeys();

// Toolbar buttons in order; 0 is a separator.
std::span<const int> ToolbarButtons();

// The offline detection sequence as engine commands, run in order: stop (the loop ends), the
// offline mode's command, open the video and play it in mode 0, stop again, the offline mode's
// command again, start. The mode's command does nothing while the mode table lacks it.
using SessionCommand = std::function<void(Session&)>;
std::vector<SessionCommand> OfflineDetectionCommands(const std::string& videoPath);
// The online detection sequence ("Online Fumewatch") as engine commands: stop, the first mode's
// command, `videoOnLine` (the front end's "Video on line"), stop, the online mode's command,
// start. Starting offline, the live source ends up streaming in the online mode.
std::vector<SessionCommand> OnlineDetectionCommands(SessionCommand videoOnLine);

}  // namespace fw
