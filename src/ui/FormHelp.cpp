#include "ui/FormHelp.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/Widgets.h"

namespace trovalen {

namespace {

// A size that shows about 100 columns and 40 lines of the help text.
constexpr int HelpColumns = 100;
constexpr int HelpLines = 40;
// Room for the frame, the scroll bar and the button row, in pixels.
constexpr int HelpMargin = 80;

bool LineHasColumns(const std::string& line) {
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos)
        return false;
    size_t last = line.find_last_not_of(" \t");
    for (size_t i = first; i < last; ++i) {
        if (line[i] == '\t')
            return true;
        if (line[i] == ' ' && line[i + 1] == ' ' && i > first) {
            char before = line[i - 1];
            if (before != '.' && before != '!' && before != '?' && before != ':')
                return true;
        }
    }
    return false;
}

} // namespace

TFormHelp::TFormHelp(QWidget* parent) : QDialog(parent), FMemoHelp(new QPlainTextEdit(this)) {
    setObjectName("FormHelp");
    setModal(false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    FMemoHelp->setObjectName("MemoHelp");
    FMemoHelp->setReadOnly(true);
    FMemoHelp->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FMemoHelp, 1);
    layout->addWidget(buttons);
}

void TFormHelp::Fill(const std::string& caption, const TStringList& lines) {
    setWindowTitle(Q(caption));
    QFont font = LaidOutInColumns(lines) ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                                         : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    FMemoHelp->setFont(font);
    QStringList text;
    for (const auto& item : lines)
        text.append(Q(item.Text));
    FMemoHelp->setPlainText(text.join('\n'));
    FMemoHelp->moveCursor(QTextCursor::Start);
    QFontMetrics metrics(font);
    resize(metrics.horizontalAdvance(QString(HelpColumns, '0')) + HelpMargin,
           metrics.lineSpacing() * HelpLines + HelpMargin);
}

std::string TFormHelp::Text() const {
    return S(FMemoHelp->toPlainText());
}

bool TFormHelp::FixedPitch() const {
    return QFontInfo(FMemoHelp->font()).fixedPitch();
}

bool TFormHelp::LaidOutInColumns(const TStringList& lines) {
    for (const auto& item : lines)
        if (LineHasColumns(item.Text))
            return true;
    return false;
}

} // namespace trovalen
