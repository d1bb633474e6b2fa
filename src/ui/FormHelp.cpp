#include "ui/FormHelp.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/Widgets.h"
#include "util/Platform.h"

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

TStringList TFormHelp::ResultGuide() {
    static const char* const kGuide[] = {
        "",
        "",
        "READING A RESULT",
        "",
        "Each \"Effective Trustee:\" line of the summary (each row of the table view) names a",
        "trustee's class, its effective rights, the trustee and, for eDirectory, the protected",
        "attribute. The details pane and the pane under the table say why the trustee holds them.",
        "",
        "Pseudo-trustees stand for groups of identities that have no object of their own:",
        "  [Public]  everyone who can reach the tree, even before logging in.",
        "            Example: \"n/a  [B    I]  [Public]  [Entry Rights]\": anyone may browse.",
        "  [Root]    every object of the tree, that is every identity that is logged in.",
        "            Example: \"Tree Root  [CR    ]  [Root]  [All Attributes Rights]\".",
        "  [This]    the scanned object itself, whoever it is.",
        "            Example on .Admin.Corvale: \"n/a  [CRWS  ]  [This]  [All Attributes "
        "Rights]\":",
        "            .Admin.Corvale may compare, read and write its own attributes.",
        "",
        "Letters of the File system scan type (between the brackets, always in this order):",
        "  R Read   W Write   C Create   E Erase   A Access Control   F File Scan   M Modify",
        "  S Supervisor (all rights, and no inherited rights mask can take it away)",
        "  Example: \"[RWCE F  ]\" reads, writes, creates, erases and lists files, nothing more.",
        "",
        "Letters of the eDirectory scan type:",
        "  Entry rights ([Entry Rights]):   B Browse   C Create   D Delete   R Rename",
        "                                   A Supervisor (all entry and attribute rights)",
        "  Attribute rights:                C Compare   R Read   W Write   S Add or delete self",
        "                                   A Supervisor (all rights to the attribute)",
        "  Example: \"[BCDRAI]  .Admin.Corvale  [Entry Rights]\" is full control of the entry.",
        "",
        "Inherited rights mask (IRM): a filter on a directory or container that says which",
        "rights may flow down to it from above. Rights assigned on the place itself are not",
        "filtered, and on the file system Supervisor is never filtered.",
        "  Example: \"Path: \"SYS:APPS\" - IRM [R    F  ]\": from SYS: only Read and File Scan",
        "  reach SYS:APPS; a reason line \"IRM filter [R    F  ] on path: SYS:APPS\" shows where",
        "  a trustee's rights were cut. In eDirectory: \"IRM: [B    I] on \"[Entry Rights]\"\".",
        "",
        "Security equivalence (SecEqu): an object that names another in its \"Security Equals\"",
        "holds every right of that other one (group members hold the group's rights this way).",
        "  Example: \"Indirect Trustee: .Ann.ACME  (SecEqu to \".Staff.ACME\")\" and the reason",
        "  \"[R    F  ] for SecEqu to \".Staff.ACME\"\": .Ann.ACME holds what .Staff.ACME holds.",
        "  With \"Resolve Container Trustees\" the objects in a container that is a trustee are",
        "  listed too: \"[B    I] for residence in \".TEAM.DEV.ACME\"\".",
        "",
        "The letter I in an eDirectory result: the rights are inheritable, they flow on to the",
        "objects below the scanned one (unless an IRM there stops them). Without I they hold on",
        "the scanned object only. On an object that holds no others (a user, a printer) attribute",
        "rights never show I.",
        "  Example: \"[B    I]  [Public]  [Entry Rights]\" on a container: everyone may browse it",
        "  and everything below it; \"[BCDRA ]\" holds on this object alone.",
        "",
        "Rows of an entry that was not analysed completely (a value that could not be read, an",
        "entry not found, a scan stopped) are marked in the table view with the reason; the line",
        "above the panes names those entries.",
    };
    TStringList lines;
    for (const char* line : kGuide)
        lines.Add(line);
    return lines;
}

TFormHelp* TFormHelp::Open(QWidget* owner, const std::string& caption) {
    auto* help = owner != nullptr
                     ? owner->findChild<TFormHelp*>("FormHelp", Qt::FindDirectChildrenOnly)
                     : nullptr;
    if (help == nullptr)
        help = new TFormHelp(owner);
    TStringList lines;
    U_LoadMemoFromAppTxt(lines);
    lines.Append(ResultGuide());
    help->Fill(caption, lines);
    help->show();
    help->raise();
    help->activateWindow();
    return help;
}

bool TFormHelp::LaidOutInColumns(const TStringList& lines) {
    for (const auto& item : lines)
        if (LineHasColumns(item.Text))
            return true;
    return false;
}

} // namespace trovalen
