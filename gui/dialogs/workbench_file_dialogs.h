// The file dialogs of the analysis workbench's tools.
#pragma once

class QWidget;

namespace fw {

class EngineBridge;

// "Automatically change filenames": the user picks any picture of a folder; the folder becomes
// the current directory and its pictures are renamed after their time stamps on the engine
// thread (its messages come as message boxes), ending with a summary.
void RenameByTimeCommand(QWidget& parent, EngineBridge& bridge);

}  // namespace fw
