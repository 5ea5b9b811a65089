#pragma once
// ncferry-cli review list [--options <Option.ini>] [FOLDER]...
//                    show HELD | accept HELD... | reject HELD...
// The programs the auto mode held for review: where they wait, how they differ from the
// stored ones, and the decision on each.
#include <QStringList>

// args are the words after "review". list prints one line per held program on stdout (time,
// port setting, device, program, held copy, tab-separated), searching each FOLDER and its
// sub-folders, and without folders the work folders and path list of --options. Status
// Cli::Ok; Cli::UsageError for bad words, an unreadable options file or a HELD that is not a
// held program; Cli::Failed when a decision could not be carried out (nothing changed then).
int runReviewCommand(const QStringList &args);
