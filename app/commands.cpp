#include "app/commands.h"

#include <algorithm>
#include <iterator>

#include "app/analysis_commands.h"
#include "app/mode_table.h"
#include "app/session.h"

namespace fw {

namespace {

using H = CommandHandler;
using C = CheckRule;
using M = ModeId;

// A mode command of the Bottom View menu: its label comes from the mode table.
constexpr CommandInfo Mode(ModeId id) {
  return {ModeNumber(id), nullptr, C::CurrentMode, H::Mode};
}

const CommandInfo kCommands[] = {
    // File
    {cmd::kFileNew, "&New\tCtrl+N", C::None, H::App},
    {cmd::kFileOpen, "&Open...\tCtrl+O", C::None, H::ControlBar},
    {cmd::kFileSave, "&Save\tCtrl+S", C::None, H::ControlBar},
    {cmd::kFileSaveAs, "Save &As...", C::None, H::ControlBar},
    {cmd::kRecentFile, "Recent File", C::None, H::App},
    {cmd::kExit, "E&xit", C::None, H::App},
    // Edit
    {cmd::kUndo, "&Undo\tCtrl+Z", C::None, H::None},
    {cmd::kCut, "Cu&t\tCtrl+X", C::None, H::None},
    {cmd::kCopy, "&Copy\tCtrl+C", C::None, H::None},
    {cmd::kPaste, "&Paste\tCtrl+V", C::None, H::None},
    // View
    {cmd::kToolbar, "&Toolbar", C::ToolbarShown, H::Frame},
    {cmd::kStatusBar, "&Status Bar", C::StatusBarShown, H::Frame},
    {cmd::kSplit, "S&plit", C::None, H::None},
    {cmd::kShowDisplayDialog, "Show Display-Diaglog", C::DisplayDialogShown, H::Document},
    {cmd::kDisplayDialogTopmost, "Dispaly Diaglog Top most", C::DisplayDialogTopmost, H::Document},
    {cmd::kSetLbpVar, "Set LBP-VAR", C::LbpVarShown, H::Document},
    {cmd::kZoom, "Zoom", C::Tool, H::Document},
    {cmd::kPan, "Pan", C::Tool, H::Document},
    {cmd::kFourOrOneViews, "Four or one views", C::FourViews, H::Frame},
    {cmd::kVideoOnLine, "Video on line", C::Online, H::Frame},
    {cmd::kGenerateSamples, "Generate sample images\tCtrl+G", C::None, H::Document},
    {cmd::kGetVoc, "Get VOC\tAlt+V", C::None, H::Document},
    {cmd::kGeneratePositive, "Generate a positive image", C::SelectionSquare, H::Frame},
    // Operation > Top left
    {cmd::kGradOfView00, "Grad of View00", C::TopLeftGrad, H::Pane},
    {20007, nullptr, C::TopLeftOperation, H::Analysis},
    {20008, nullptr, C::TopLeftOperation, H::Analysis},
    {140, nullptr, C::TopLeftOperation, H::Analysis},
    {2013, nullptr, C::TopLeftOperation, H::Analysis},
    {20009, nullptr, C::TopLeftOperation, H::Analysis},
    {20011, nullptr, C::TopLeftOperation, H::Analysis},
    {2017, nullptr, C::TopLeftOperation, H::Analysis},
    {20012, nullptr, C::TopLeftOperation, H::Analysis},
    {143, nullptr, C::TopLeftOperation, H::Analysis},
    {20013, nullptr, C::TopLeftOperation, H::Analysis},
    {20014, nullptr, C::TopLeftOperation, H::Analysis},
    {2005, nullptr, C::TopLeftOperation, H::Analysis},
    {2006, nullptr, C::TopLeftOperation, H::Analysis},
    {2008, nullptr, C::TopLeftOperation, H::Analysis},
    {2009, nullptr, C::TopLeftOperation, H::Analysis},
    {2014, nullptr, C::TopLeftOperation, H::Analysis},
    {2015, nullptr, C::TopLeftOperation, H::Analysis},
    {2016, nullptr, C::TopLeftOperation, H::Analysis},
    {2024, nullptr, C::TopLeftOperation, H::Analysis},
    {20010, "Display in log mode", C::LogDisplay, H::Analysis},
    {2010, "Display 2D FFT Circle Intensity", C::FftCircle, H::Analysis},
    {cmd::kWaveletTransform, "Wavelet transform", C::None, H::Pane},
    // Operation
    {137, "Top right", C::None, H::None},
    // Operation > Bottom left
    {cmd::kFrameDifference, "Frame difference", C::None, H::Pending},
    {cmd::kMei, "MEI", C::None, H::Pending},
    {cmd::kColourTesting, "Enable color testing", C::ColourTesting, H::Pane},
    {cmd::kGrads, "Grads", C::BottomLeftGrads, H::Pane},
    {cmd::kSnakeModelMark, "Snake Model", C::SnakeModelMark, H::Pane},
    // Operation > Bottom right
    {cmd::kBottomRightGrad, "Grad", C::BottomRightOperation, H::Pane},
    {cmd::kBottomRightDifference, "Difference", C::BottomRightOperation, H::Pane},
    // Operation > Bottom View: the mode commands
    Mode(M::AccurateBackground),
    Mode(M::TimeBackground),
    Mode(M::SimpleBackground),
    Mode(M::GaussGrad),
    Mode(M::HighOrderMoment),
    Mode(M::DifferenceAccumulation),
    Mode(M::Infrared),
    Mode(M::FourStageFlame),
    Mode(M::Smoke),
    Mode(M::BlockSmoke),
    Mode(M::FuzzyMat),
    Mode(M::LosingFrames),
    Mode(M::Engineering),
    Mode(M::FuzzyEngineering),
    Mode(M::SpringMouth),
    Mode(M::Training),
    Mode(M::Detecting),
    Mode(M::AdaboostMotion),
    Mode(M::RealAdaBoost),
    Mode(M::BoostedLbp),
    Mode(M::Pltp),
    Mode(M::Pldp),
    Mode(M::NeuralNetwork),
    {cmd::kSnakeModel, nullptr, C::AuxiliaryOperation, H::Analysis},
    {cmd::kHistogram, nullptr, C::AuxiliaryOperation, H::Analysis},
    {cmd::kAutoThreshold, "Auto get threshold values", C::None, H::ControlBar},
    {cmd::kWaveletView, "View Wavelet and zero crossing", C::WaveletView, H::ControlBar},
    // Operation > Dialog View
    {cmd::kSaveDisplayPicture, "Save DIB as ...", C::None, H::Document},
    // Operation
    {cmd::kInfrared, "Infrared image detection", C::InfraredMode, H::Frame},
    {cmd::kPtz, "PTZ control", C::Ptz, H::Frame},
    {cmd::kInfraredParameters, "Set up parameter", C::None, H::Frame},
    {cmd::kShiftWavelet, nullptr, C::TopLeftOperation, H::Analysis},
    {cmd::kPseudoColour, "Load  pseudocolor code", C::None, H::Document},
    {cmd::kOfflineDetection, "Offline Fumewatch    Ctrl+D", C::None, H::ControlBar},
    {cmd::kOnlineDetection, "Online Fumewatch     Ctrl+F", C::None, H::Frame},
    {cmd::kFuzzyCMeans, "Fuzzy C-Means for smoke images", C::None, H::Document},
    {cmd::kRenameByTime, "Automatically change filenames", C::None, H::Document},
    {32795, "Online Adaboost learning", C::None, H::Frame},
    // View: the desktop's own commands
    {cmd::kFitToPane, "Fit to pane", C::FitToPane, H::Frame},
    {cmd::kAlarmIntervals, "Alarm intervals", C::AlarmIntervalsShown, H::Frame},
    {cmd::kPlayPause, "Play/Pause\tSpace", C::None, H::Frame},
    {cmd::kNextFrame, "Next frame\tRight", C::None, H::Frame},
    {cmd::kPreviousFrame, "Previous frame\tLeft", C::None, H::Frame},
    {cmd::kFirstFrame, "First frame\tHome", C::None, H::Frame},
    {cmd::kLastFrame, "Last frame\tEnd", C::None, H::Frame},
    {cmd::kLoop, "Loop", C::Loop, H::Frame},
    {cmd::kPlayAtFileRate, "Play at the file's rate", C::None, H::Frame},
    // Help
    {cmd::kAbout, "&About DXQ...", C::None, H::App},
    // Toolbar and accelerator only
    {cmd::kPrint, "Print", C::None, H::None},
    {cmd::kPreviousPane, "Previous Pane", C::None, H::Frame},
};

constexpr MenuRow Sub(const char* title) {
  return {MenuRowKind::Submenu, 0, title};
}
constexpr MenuRow End() {
  return {MenuRowKind::End, 0, nullptr};
}
constexpr MenuRow Sep() {
  return {MenuRowKind::Separator, 0, nullptr};
}
constexpr MenuRow Cmd(int id) {
  return {MenuRowKind::Command, id, nullptr};
}
constexpr MenuRow ModeCmd(ModeId id) {
  return Cmd(ModeNumber(id));
}

// The rows are indented by their nesting.
// clang-format off
const MenuRow kMenuBar[] = {
    Sub("&File"),
    Cmd(cmd::kFileNew), Cmd(cmd::kFileOpen), Cmd(cmd::kFileSave), Cmd(cmd::kFileSaveAs), Sep(),
    Cmd(cmd::kRecentFile), Sep(), Cmd(cmd::kExit),
    End(),
    Sub("&Edit"),
    Cmd(cmd::kUndo), Cmd(cmd::kCut), Cmd(cmd::kCopy), Cmd(cmd::kPaste),
    End(),
    Sub("&View"),
    Cmd(cmd::kToolbar), Cmd(cmd::kStatusBar), Cmd(cmd::kSplit), Sep(),
    Cmd(cmd::kShowDisplayDialog), Cmd(cmd::kDisplayDialogTopmost), Cmd(cmd::kSetLbpVar), Sep(),
    Cmd(cmd::kZoom), Cmd(cmd::kPan), Sep(),
    Cmd(cmd::kFourOrOneViews), Cmd(cmd::kVideoOnLine), Sep(),
    Cmd(cmd::kGenerateSamples), Cmd(cmd::kGetVoc), Cmd(cmd::kGeneratePositive), Sep(),
    Cmd(cmd::kFitToPane), Cmd(cmd::kAlarmIntervals), Sep(),
    Cmd(cmd::kPlayPause), Cmd(cmd::kNextFrame), Cmd(cmd::kPreviousFrame), Cmd(cmd::kFirstFrame),
    Cmd(cmd::kLastFrame), Cmd(cmd::kLoop), Cmd(cmd::kPlayAtFileRate),
    End(),
    Sub("Operation"),
      Sub("Top left"),
      Cmd(cmd::kGradOfView00), Sep(),
      Cmd(20007), Cmd(20008), Cmd(140), Cmd(2013), Cmd(20009), Cmd(20011), Cmd(2017), Cmd(20012),
      Cmd(143), Cmd(20013), Cmd(20014), Cmd(2005), Cmd(2006), Cmd(2008), Cmd(2009), Sep(),
      Cmd(2014), Cmd(2015), Cmd(2016), Cmd(2024), Sep(),
      Cmd(20010), Cmd(2010), Cmd(cmd::kWaveletTransform),
      End(),
    Cmd(137),
      Sub("Bottom left"),
      Cmd(cmd::kFrameDifference), Cmd(cmd::kMei), Cmd(cmd::kColourTesting), Cmd(cmd::kGrads),
      Sep(), Cmd(cmd::kSnakeModelMark),
      End(),
      Sub("Bottom right"),
      Cmd(cmd::kBottomRightGrad), Cmd(cmd::kBottomRightDifference),
      End(),
      Sub("Bottom View"),
      ModeCmd(M::AccurateBackground), ModeCmd(M::TimeBackground), ModeCmd(M::SimpleBackground),
      ModeCmd(M::GaussGrad), ModeCmd(M::HighOrderMoment), ModeCmd(M::DifferenceAccumulation),
      ModeCmd(M::Infrared), ModeCmd(M::FourStageFlame), ModeCmd(M::Smoke), ModeCmd(M::BlockSmoke),
      ModeCmd(M::FuzzyMat), ModeCmd(M::LosingFrames), ModeCmd(M::Engineering),
      ModeCmd(M::FuzzyEngineering), ModeCmd(M::SpringMouth),
        Sub("Adaboost"),
        ModeCmd(M::Training), ModeCmd(M::Detecting), ModeCmd(M::AdaboostMotion),
        ModeCmd(M::RealAdaBoost), ModeCmd(M::BoostedLbp), ModeCmd(M::Pltp), ModeCmd(M::Pldp),
        End(),
      ModeCmd(M::NeuralNetwork), Sep(), Cmd(cmd::kSnakeModel), Cmd(cmd::kHistogram), Sep(),
      Cmd(cmd::kAutoThreshold), Cmd(cmd::kWaveletView),
      End(),
      Sub("Dialog View"),
      Cmd(cmd::kSaveDisplayPicture),
      End(),
    Sep(), Cmd(cmd::kInfrared), Cmd(cmd::kPtz), Sep(),
    Cmd(cmd::kInfraredParameters), Cmd(cmd::kShiftWavelet), Cmd(cmd::kPseudoColour),
    Cmd(cmd::kOfflineDetection), Cmd(cmd::kOnlineDetection), Cmd(cmd::kFuzzyCMeans), Cmd(cmd::kRenameByTime),
    Cmd(32795),
    End(),
    Sub("&Help"),
    Cmd(cmd::kAbout),
    End(),
};
// clang-format on

const Accelerator kAccelerators[] = {
    {"Ctrl+C", cmd::kCopy},
    {"Ctrl+Ins", cmd::kCopy},
    {"Shift+Del", cmd::kCut},
    {"Ctrl+X", cmd::kCut},
    {"Ctrl+V", cmd::kPaste},
    {"Shift+Ins", cmd::kPaste},
    {"Alt+Backspace", cmd::kUndo},
    {"Ctrl+Z", cmd::kUndo},
    {"Ctrl+N", cmd::kFileNew},
    {"Ctrl+O", cmd::kFileOpen},
    {"Ctrl+S", cmd::kFileSave},
    {"Ctrl+G", cmd::kGenerateSamples},
    {"Ctrl+D", cmd::kOfflineDetection},
    {"Shift+O", 32795},
    {"Ctrl+F", cmd::kOnlineDetection},
    {"Shift+F6", cmd::kPreviousPane},
    {"Alt+V", cmd::kGetVoc},
};

const Accelerator kPlayerKeys[] = {
    {"Space", cmd::kPlayPause},    {"Right", cmd::kNextFrame}, {".", cmd::kNextFrame},
    {"Left", cmd::kPreviousFrame}, {",", cmd::kPreviousFrame}, {"Home", cmd::kFirstFrame},
    {"End", cmd::kLastFrame},
};

const int kToolbar[] = {
    cmd::kFileNew,        cmd::kFileOpen,    cmd::kFileSave, 0,         cmd::kCut,
    cmd::kCopy,           cmd::kPaste,       cmd::kZoom,     cmd::kPan, 0,
    cmd::kFourOrOneViews, cmd::kVideoOnLine, cmd::kInfrared, 0,         cmd::kAbout,
    cmd::kPrint,
};

}  // namespace

std::span<const CommandInfo> Commands() {
  return kCommands;
}

const CommandInfo* FindCommand(int id) {
  const auto it = std::find_if(std::begin(kCommands), std::end(kCommands),
                               [id](const CommandInfo& c) { return c.id == id; });
  return it == std::end(kCommands) ? nullptr : &*it;
}

std::string_view CommandLabel(const CommandInfo& command) {
  if (command.label != nullptr) return command.label;
  const char* label = command.handler == CommandHandler::Mode
                          ? ModeLabel(static_cast<ModeId>(command.id))
                          : AnalysisLabel(command.id);
  return label != nullptr ? label : "";
}

bool IsCommandEnabled(const CommandInfo& command) {
  switch (command.handler) {
    case CommandHandler::None:
    case CommandHandler::Pending:
      return false;
    case CommandHandler::Mode:
      return FindMode(command.id) != nullptr;
    default:
      return true;
  }
}

const char* UnavailableReason(const CommandInfo& command) {
  if (IsCommandEnabled(command)) return nullptr;
  switch (command.handler) {
    case CommandHandler::Pending:
      return "Not in this build yet: the work of this command is still to come.";
    case CommandHandler::Mode:
      return "Not in this build yet: this detection mode is still to come.";
    default:
      return nullptr;
  }
}

bool IsCommandChecked(const CommandInfo& command, const CommandContext& context) {
  switch (command.check) {
    case CheckRule::None:
      return false;
    case CheckRule::CurrentMode:
      return IsMenuMode(context.mode) && ModeNumber(context.mode) == command.id;
    case CheckRule::AuxiliaryOperation:
      return context.auxiliaryOperation == command.id;
    case CheckRule::TopLeftOperation:
      return context.topLeftOperation == command.id;
    case CheckRule::LogDisplay:
      return context.logDisplay;
    case CheckRule::FftCircle:
      return context.fftCircle;
    case CheckRule::WaveletView:
      return context.waveletView;
    case CheckRule::BottomRightOperation:
      return context.bottomRightOperation == command.id;
    case CheckRule::TopLeftGrad:
      return context.topLeftGrad;
    case CheckRule::BottomLeftGrads:
      return context.bottomLeftGrads;
    case CheckRule::ColourTesting:
      return context.colourTesting;
    case CheckRule::SnakeModelMark:
      return context.snakeModelMark;
    case CheckRule::Tool:
      return context.currentTool == command.id;
    case CheckRule::FourViews:
      return context.fourViews;
    case CheckRule::Ptz:
      return context.ptz;
    case CheckRule::DisplayDialogShown:
      return context.displayDialogShown;
    case CheckRule::DisplayDialogTopmost:
      return context.displayDialogTopmost;
    case CheckRule::LbpVarShown:
      return context.lbpVarShown;
    case CheckRule::SelectionSquare:
      return context.selectionSquare;
    case CheckRule::ToolbarShown:
      return context.toolbarShown;
    case CheckRule::StatusBarShown:
      return context.statusBarShown;
    case CheckRule::Online:
      return context.online;
    case CheckRule::InfraredMode:
      return context.mode == ModeId::Infrared;
    case CheckRule::Loop:
      return context.looping;
    case CheckRule::FitToPane:
      return context.fitToPane;
    case CheckRule::AlarmIntervalsShown:
      return context.alarmIntervalsShown;
  }
  return false;
}

std::span<const MenuRow> MenuBar() {
  return kMenuBar;
}

std::vector<int> SubmenuCommands(std::string_view title) {
  std::vector<int> ids;
  int depth = 0;  // nesting below the submenu found; 0 while outside it
  for (const MenuRow& row : kMenuBar) {
    if (depth == 0) {
      if (row.kind == MenuRowKind::Submenu && title == row.title) depth = 1;
      continue;
    }
    if (row.kind == MenuRowKind::Submenu) ++depth;
    if (row.kind == MenuRowKind::End && --depth == 0) break;
    if (row.kind == MenuRowKind::Command) ids.push_back(row.id);
  }
  return ids;
}

std::span<const Accelerator> Accelerators() {
  return kAccelerators;
}

std::span<const Accelerator> PlayerKeys() {
  return kPlayerKeys;
}

std::span<const int> ToolbarButtons() {
  return kToolbar;
}

namespace {

// Each stop is followed by the end of the loop, which the next command relies on: the new start
// finds no loop.
void StopAndEndLoop(Session& s) {
  s.Stop();
  s.EndLoopIfStopped();
}

}  // namespace

std::vector<SessionCommand> OfflineDetectionCommands(const std::string& videoPath) {
  const auto stop = StopAndEndLoop;
  const auto selectOfflineMode = [](Session& s) { s.SelectMode(cmd::kOfflineDetectionMode); };
  return {
      stop, selectOfflineMode, [videoPath](Session& s) { s.OpenForDetection(videoPath); },
      stop, selectOfflineMode, [](Session& s) { s.Start(); },
  };
}

std::vector<SessionCommand> OnlineDetectionCommands(SessionCommand videoOnLine) {
  const auto select = [](ModeId mode) { return [mode](Session& s) { s.SelectMode(mode); }; };
  return {
      StopAndEndLoop, select(cmd::kOnlineDetectionFirstMode), std::move(videoOnLine),
      StopAndEndLoop, select(cmd::kOnlineDetectionMode),      [](Session& s) { s.Start(); },
  };
}

}  // namespace fw
