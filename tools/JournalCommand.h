#pragma once
// ncferry-cli journal: the transfer journal as a table or CSV, and the check of its chain.
#include <QString>
#include <QStringList>

// The journal this process records in: NCFERRY_JOURNAL when set, else "journal.db" in the
// program's data folder, beside the notes.
QString defaultJournalPath();
int runJournalCommand(const QStringList &args);
