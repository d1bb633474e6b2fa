#include "ui/FormReach.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

#include "rights/ScanSession.h"
#include "ui/ControlState.h"
#include "ui/StartConfig.h"
#include "ui/Widgets.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

namespace {

// The scopes the scope line names before "and n more".
constexpr size_t kScopesNamed = 3;

QLabel* BuddyLabel(const char* caption, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

TFormReach::TFormReach(TScanSession& session, std::vector<std::string> scopes, bool edir,
                       QWidget* parent)
    : QDialog(parent), FSession(session), FScopes(std::move(scopes)), FEdir(edir),
      FEditTrustee(new QLineEdit(this)), FEditContainer(new QLineEdit(this)),
      FContainers(new TListBox(this)), FObjects(new TListBox(this)), FLabelScope(new QLabel(this)),
      FButtons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    setObjectName("FormReach");
    setWindowTitle("What Can a Trustee Reach");
    setModal(true);
    U_SetCentredPlacement(this, true);

    FEditTrustee->setObjectName("EditReachTrustee");
    FEditTrustee->setPlaceholderText("a full name such as .Joe.Sales.ACME, or [Public]");
    FEditTrustee->setToolTip("The user, group, role or container whose rights are looked for; "
                             "type its full name or choose it in the tree below");
    FEditTrustee->setMinimumWidth(420);
    FEditContainer->setObjectName("EditReachContainer");
    FEditContainer->setReadOnly(true);
    FContainers->setObjectName("ListBoxReachContainers");
    FContainers->setToolTip("Double-click a container (or press Enter) to open it");
    FObjects->setObjectName("ListBoxReachObjects");
    FObjects->setToolTip("Double-click an object (or press Enter) to make it the trustee");
    FLabelScope->setObjectName("LabelReachScope");
    FLabelScope->setWordWrap(true);
    FLabelScope->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FLabelScope->setText(Q(ScopeText()));
    FButtons->setObjectName("ButtonBox");
    QPushButton* search = FButtons->button(QDialogButtonBox::Ok);
    search->setText("&Search");
    search->setObjectName("ButtonReachSearch");

    auto* grid = new QGridLayout();
    grid->addWidget(BuddyLabel("&Trustee:", FEditTrustee, this), 0, 0);
    grid->addWidget(FEditTrustee, 0, 1, 1, 2);
    grid->addWidget(new QLabel("Container:", this), 1, 0);
    grid->addWidget(FEditContainer, 1, 1, 1, 2);
    grid->addWidget(BuddyLabel("&Containers", FContainers, this), 2, 1);
    grid->addWidget(BuddyLabel("&Objects", FObjects, this), 2, 2);
    grid->addWidget(FContainers, 3, 1);
    grid->addWidget(FObjects, 3, 2);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 3);
    grid->setRowStretch(3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addWidget(FLabelScope);
    layout->addWidget(FButtons);

    connect(FButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(FButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(FEditTrustee, &QLineEdit::textChanged, this, [this] { UpdateSearch(); });
    connect(FContainers, &QListWidget::itemDoubleClicked, this, [this] { OpenContainer(); });
    connect(FContainers, &TListBox::EnterPressed, this, [this] { OpenContainer(); });
    connect(FObjects, &QListWidget::itemDoubleClicked, this, [this] { ChooseObject(); });
    connect(FObjects, &TListBox::EnterPressed, this, [this] { ChooseObject(); });

    ListContainer();
    UpdateSearch();
    resize(sizeHint().width(), sizeHint().height() * 3 / 2);
}

std::string TFormReach::Trustee() const {
    return S(FEditTrustee->text().trimmed());
}

void TFormReach::SetTrustee(const std::string& name) {
    FEditTrustee->setText(Q(name));
}

bool TFormReach::CanSearch() const {
    return !Trustee().empty() && !FScopes.empty();
}

void TFormReach::UpdateSearch() {
    FButtons->button(QDialogButtonBox::Ok)->setEnabled(CanSearch());
}

std::string TFormReach::ScopeText() const {
    if (FScopes.empty())
        return FEdir ? "No object is checked: check the containers or objects to search below on "
                       "the Select eDirectory Objects page first."
                     : "No start path is checked: check the folders to search below on the "
                       "Select Start Path page first.";
    std::string names;
    for (size_t i = 0; i < FScopes.size() && i < kScopesNamed; ++i)
        names += (i > 0 ? ", " : "") + FScopes[i];
    if (FScopes.size() > kScopesNamed)
        names += U_Format(" and %zu more", FScopes.size() - kScopesNamed);
    const char* what = FEdir ? (FScopes.size() == 1 ? "object" : "objects")
                             : (FScopes.size() == 1 ? "start path" : "start paths");
    return U_Format("Searched at every level below the checked %s: %s", what, names.c_str());
}

void TFormReach::ListContainer() {
    FContainers->clear();
    FObjects->clear();
    FEditContainer->clear();
    // Without a tree there is nothing to browse; a name can still be typed.
    if (!FSession.Started() || FSession.CurrentTree().empty()) {
        const QString hint("No tree to browse: type the trustee's full name above");
        FContainers->SetHint(hint);
        FObjects->SetHint(hint);
        return;
    }
    FContainers->SetHint(kHintNoContainers);
    FObjects->SetHint(kHintNoObjects);
    std::string current;
    TStringList containers, objects;
    {
        TBusyCursor busy;
        FSession.ListContainer(current, containers, objects);
    }
    FEditContainer->setText(Q(current));
    for (const auto& c : containers)
        FContainers->addItem(Q(c.Text));
    for (const auto& o : objects) {
        auto* item = new QListWidgetItem(Q(o.Text), FObjects);
        item->setData(kPrefixRole, static_cast<int>(o.Value));
    }
}

void TFormReach::OpenContainer() {
    QListWidgetItem* item = FContainers->currentItem();
    if (!item)
        return;
    FSession.OpenContainer(S(item->text()));
    ListContainer();
}

void TFormReach::ChooseObject() {
    QListWidgetItem* item = FObjects->currentItem();
    if (!item)
        return;
    std::string full;
    NWCCODE code = FSession.ResolveObject(S(item->text()), item->data(kPrefixRole).toInt(), full);
    if (full.empty()) {
        U_ShowError(code, "DSGetDN");
        return;
    }
    FEditTrustee->setText(Q(full));
    FEditTrustee->setFocus();
}

} // namespace trovalen
