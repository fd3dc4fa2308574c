#pragma once
// The sectioned key=value settings files. A TIniFile is a short-lived handle: constructing one
// touches nothing on disk, every read opens and parses the file afresh and every write rewrites
// it completely, so a value read is always the one last written by anyone.
//
// Format decisions:
// - Files are read and written as UTF-8 (a leading byte-order mark is skipped on reads and kept
//   on writes).
// - Section and key names are matched without regard to letter case; blanks around a section
//   name, a key name and a value are ignored on reads (as the classic private-profile functions
//   do), so a value written with surrounding blanks reads back without them.
// - Section, key or value text holding a line break (or a section name holding "]", a key
//   holding "=") is refused like any other failed write: it would inject foreign lines.
// - A write replaces only the value of the matching line; every other byte of the file
//   (comments, blank lines, unknown keys, other sections, order, CR LF or LF line endings) stays
//   as it was. A new key goes after the last non-blank line of its section; a new section goes
//   at the end of the file.
// - A write goes to a temporary file in the same folder that then replaces the settings file,
//   so a failed write leaves the old file whole. When the settings file is a symbolic link the
//   link's target is rewritten (or created, when the link leads nowhere yet) and the link stays.
//   A settings file the user may not write is never replaced.

#include <QString>

class TIniFile {
  public:
    explicit TIniFile(QString fileName);
    const QString& FileName() const { return FFileName; }

    // At most 2047 characters are returned.
    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    // Decimal, "0x"/"0X" hexadecimal or "$" hexadecimal, within the signed 32-bit range;
    // anything else gives the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    // Converted with the user's decimal separator; empty, absent or unconvertible text gives
    // the default.
    double ReadFloat(const QString& section, const QString& key, double defaultValue) const;

    // Each throws KelvoError("Unable to write to " + full file name) when the file cannot be
    // written; the file then keeps its previous content.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    // Shortest form with up to 15 significant digits, with the user's decimal separator.
    void WriteFloat(const QString& section, const QString& key, double value);

  private:
    QString FFileName;
};

// On exactly when the stored text is "Yes"; absent gives the default.
bool ReadYesNo(const TIniFile& file, const QString& section, const QString& key, bool defaultValue);
void WriteYesNo(TIniFile& file, const QString& section, const QString& key, bool value);
// The single-letter form of the same: on exactly when the stored text is "Y".
bool ReadYN(const TIniFile& file, const QString& section, const QString& key, bool defaultValue);
void WriteYN(TIniFile& file, const QString& section, const QString& key, bool value);

// Where the settings live. Both files of the user's own are in $XDG_CONFIG_HOME/KelvoImage/
// (~/.config when that is unset, empty or relative), the folder made when first asked for.
//
// The main settings file: $KELVO_EXE_DIR/KelvoImage.Ini when that variable is set; else
// KelvoImage.Ini in the program's folder (exeDir, ending with a separator) when a file of that
// name is there (a portable copy); else KelvoImage/KelvoImage.Ini of the user's own.
QString MainSettingsFileName(const QString& exeDir);
// The slider windows' settings, shared by every copy of the program: KelvoImage/Sliders.Ini of
// the user's own. Never the main settings file, wherever that is.
QString SliderSettingsFileName();
