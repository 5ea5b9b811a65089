#pragma once
// The command line's words, decoded as file names are: on Linux a name is bytes, and a word
// the system's encoding cannot carry would name another file once decoded.
#include <QStringList>

namespace CliArguments
{
// The words after the program name; false with a user-facing message when one of them does
// not survive decoding and encoding unchanged.
bool decode(int argc, const char *const *argv, QStringList *words, QString *error);
} // namespace CliArguments
