// The help text in a window of its own: read-only, in a fixed-pitch font when the text is laid
// out in columns (so they stay aligned), else in the window's usual font.
#pragma once

#include <QDialog>

#include <string>

#include "util/StringList.h"

class QPlainTextEdit;

namespace trovalen {

class TFormHelp : public QDialog {
    Q_OBJECT
public:
    explicit TFormHelp(QWidget* parent = nullptr);

    // Shows the lines under the caption, scrolled to the top.
    void Fill(const std::string& caption, const TStringList& lines);
    std::string Text() const;
    bool FixedPitch() const;

    // Whether some line sets text apart in columns: a tab, or a gap of two or more blanks after
    // the line's first word that does not follow the end of a sentence.
    static bool LaidOutInColumns(const TStringList& lines);

    // How to read a result: the pseudo-trustees [Public], [Root] and [This], the letters of both
    // scan types, inherited rights masks (IRM), security equivalence (SecEqu) and the letter I,
    // each with a short example as the panes show it.
    static TStringList ResultGuide();

    // Opens the owner's help window (made on first use, then the same one) with the program's
    // help text (beside the program, or the installed one) followed by ResultGuide, shows it,
    // raises it and gives it the focus. For F1 and a Help menu. Returns the window.
    static TFormHelp* Open(QWidget* owner, const std::string& caption);

private:
    QPlainTextEdit* FMemoHelp;
};

} // namespace trovalen
