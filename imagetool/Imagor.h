#pragma once
// The image tool's main routine: parses the parameters, rewrites the image
// when asked, writes the listings and answers the exit code.
#include <string>
#include <vector>

#include "imagetool/ConsoleOutput.h"

// args[0] is the program; the others are its parameters.
int RunImagor(const std::vector<std::string>& args, TOutputSink& out, TOutputSink& err);
