// The file dialogs of the analysis workbench's tools.
#pragma once

#include <QString>

class QWidget;

namespace fw {

class EngineBridge;

// "Automatically change filenames": the user picks any picture of a folder; the folder becomes
// the current directory and its pictures are renamed after their time stamps on the engine
// thread (its messages come as message boxes), ending with a summary.
void RenameByTimeCommand(QWidget& parent, EngineBridge& bridge);

// "Non-Fire Files": the smoke-free video the network recognisers train on as negative examples;
// empty when the user cancels.
QString ChooseNonFireVideo(QWidget& parent);

}  // namespace fw
