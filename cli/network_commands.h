// The network of the texture windows on the command line: training and evaluation.
#pragma once

#include <string>

#include "cli/args.h"
#include "cli/commands.h"

namespace fw::cli {

// train --flavour nn; the options are parsed and --positives, --negatives and --out present.
int RunNetworkTraining(Args& args);

// eval-samples of a network file: --classifier names it (--flavour nn, or a file name ending in
// "NeuralNet.kdz"); --positives and --negatives are present.
bool NamesNetwork(const Args& args, const std::string& file);
int RunNetworkEvaluation(const Args& args);

}  // namespace fw::cli
