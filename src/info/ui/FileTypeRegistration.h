#pragma once
// The file-type registration questions: one Yes/No question per image kind, and for each kind
// accepted every extension of it associated with the program and confirmed with a message.

#include <QString>

// The program named in the associations: the program's folder (with its trailing separator)
// followed by the executable's fixed name "kelvoimage", whatever name the running copy has.
QString RegistrationProgramPath(const QString& exeDir);

// Asks the JPEG, BMP, GIF and PNG questions in that order (through AskYesNo, so Cancel counts
// as No). A failed association throws its KelvoError out of the whole flow: that extension gets
// no confirmation and the remaining extensions and questions are skipped; callers run it
// through RunCommand.
void OfferFileTypes(const QString& programPath);
