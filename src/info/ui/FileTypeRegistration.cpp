#include "info/ui/FileTypeRegistration.h"

#include "app/ui/Dialogs.h"
#include "app/ui/KelvoImageUnit.h"
#include "app/ui/KelvoPrompts.h"
#include "info/FileTypes.h"

QString RegistrationProgramPath(const QString& exeDir) {
    // The executable is called kelvoimage on this platform; a fixed name ending in ".exe" would
    // name a file that does not exist, and every association would fail to start the program.
    return exeDir + QStringLiteral("kelvoimage");
}

void OfferFileTypes(const QString& programPath) {
    for (const TFileTypeKind& kind : FileTypeKinds()) {
        if (!AskYesNo(kind.Question, 0)) continue;
        for (const QString& extension : kind.Extensions) {
            AssociateExtension(extension, kind.FileTypeName, kind.Description, programPath);
            CurrentDialogs().ShowMessage(AssociationConfirmation(extension, programPath));
        }
    }
}

// The same questions as at the first start, asked again on request.
void TKelvoImageForm::RegisterFileTypes1Click() {
    OfferFileTypes(RegistrationProgramPath(FExeDir));
}
