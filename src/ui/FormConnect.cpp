#include "ui/FormConnect.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

#include <iterator>

#include "ui/ControlState.h"
#include "ui/Widgets.h"

namespace trovalen {

namespace {

QLineEdit* NewEdit(const char* name, const char* placeholder, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setPlaceholderText(placeholder);
    edit->setMinimumWidth(360);
    return edit;
}

QLabel* BuddyLabel(const char* caption, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

TFormConnect::TFormConnect(QWidget* parent)
    : QDialog(parent),
      FEditUri(NewEdit("EditUri", "ldap://server.example.com, ldaps://... or ldapi://...", this)),
      FEditBindDn(NewEdit("EditBindDn", "empty: an anonymous bind", this)),
      FEditPassword(NewEdit("EditPassword", "", this)),
      FCheckBoxStartTls(new QCheckBox("Use &StartTLS", this)),
      FEditCaFile(NewEdit("EditCaFile", "empty: the system's certificates", this)),
      FButtonBrowseCa(new QPushButton("Bro&wse…", this)),
      FEditBase(NewEdit("EditBase", "empty: the server's naming contexts", this)),
      FEditTreeName(NewEdit("EditTreeName", "empty: the server's tree name", this)),
      FEditTimeout(new QLineEdit(this)), FLabelError(new QLabel(this)) {
    setObjectName("FormConnect");
    setWindowTitle("Connect to Directory");
    setModal(true);
    U_SetCentredPlacement(this, true);

    OpenFileDialog = [this](const std::string& current) -> std::optional<std::string> {
        QString dir = current.empty() ? QString() : QFileInfo(Q(current)).absolutePath();
        QString chosen = QFileDialog::getOpenFileName(
            this, "CA File", dir, "Certificates (*.pem *.crt *.cer);;All Files (*)");
        if (chosen.isEmpty())
            return std::nullopt;
        return S(chosen);
    };

    FEditPassword->setEchoMode(QLineEdit::Password);
    FEditPassword->setToolTip("Used for this connection only; never stored");
    FCheckBoxStartTls->setObjectName("CheckBoxStartTls");
    FCheckBoxStartTls->setToolTip("Encrypt an ldap:// connection before the bind");
    FButtonBrowseCa->setObjectName("ButtonBrowseCa");
    FButtonBrowseCa->setAutoDefault(false);
    FEditTimeout->setObjectName("EditTimeout");
    FEditTimeout->setMaximumWidth(80);
    FEditTimeout->setToolTip(
        QString("Seconds to wait for the server, from 1 to %1").arg(kLdapMaxTimeout));
    FLabelError->setObjectName("LabelError");
    FLabelError->setWordWrap(true);
    FLabelError->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette palette = FLabelError->palette();
    palette.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x20));
    FLabelError->setPalette(palette);
    FLabelError->setVisible(false);

    auto* caRow = new QHBoxLayout();
    caRow->setContentsMargins(0, 0, 0, 0);
    caRow->addWidget(FEditCaFile, 1);
    caRow->addWidget(FButtonBrowseCa);

    auto* form = new QFormLayout();
    form->addRow(BuddyLabel("Server &address:", FEditUri, this), FEditUri);
    form->addRow(BuddyLabel("&Bind DN:", FEditBindDn, this), FEditBindDn);
    form->addRow(BuddyLabel("&Password:", FEditPassword, this), FEditPassword);
    form->addRow(QString(), FCheckBoxStartTls);
    form->addRow(BuddyLabel("&CA file:", FEditCaFile, this), caRow);
    form->addRow(BuddyLabel("Base D&N:", FEditBase, this), FEditBase);
    form->addRow(BuddyLabel("&Tree name:", FEditTreeName, this), FEditTreeName);
    form->addRow(BuddyLabel("T&imeout (seconds):", FEditTimeout, this), FEditTimeout);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("ButtonBox");
    connect(buttons, &QDialogButtonBox::accepted, this, &TFormConnect::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(FButtonBrowseCa, &QPushButton::clicked, this, [this] { BrowseCaFile(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(FLabelError);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The keyboard goes through the fields top to bottom, then to the buttons.
    QWidget* order[] = {FEditUri,
                        FEditBindDn,
                        FEditPassword,
                        FCheckBoxStartTls,
                        FEditCaFile,
                        FButtonBrowseCa,
                        FEditBase,
                        FEditTreeName,
                        FEditTimeout,
                        buttons->button(QDialogButtonBox::Ok),
                        buttons->button(QDialogButtonBox::Cancel)};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    FEditUri->setFocus();
}

// The password leaves no copy in the widget once the dialog goes.
TFormConnect::~TFormConnect() {
    FEditPassword->clear();
}

void TFormConnect::SetFields(const TLdapConnectSettings& fields) {
    FEditUri->setText(Q(fields.Uri));
    FEditBindDn->setText(Q(fields.BindDn));
    FEditPassword->setText(Q(fields.Password));
    FCheckBoxStartTls->setChecked(fields.StartTls);
    FEditCaFile->setText(Q(fields.CaFile));
    FEditBase->setText(Q(fields.Base));
    FEditTreeName->setText(Q(fields.TreeName));
    FEditTimeout->setText(Q(fields.Timeout));
    ShowErrors({});
    // With an address there, the next thing to type is mostly the password.
    (fields.Uri.empty() ? FEditUri : FEditPassword)->setFocus();
}

TLdapConnectSettings TFormConnect::Fields() const {
    TLdapConnectSettings fields;
    fields.Uri = S(FEditUri->text());
    fields.BindDn = S(FEditBindDn->text());
    fields.Password = S(FEditPassword->text());
    fields.StartTls = FCheckBoxStartTls->isChecked();
    fields.CaFile = S(FEditCaFile->text());
    fields.Base = S(FEditBase->text());
    fields.TreeName = S(FEditTreeName->text());
    fields.Timeout = S(FEditTimeout->text());
    return fields;
}

std::string TFormConnect::ErrorText() const {
    return S(FLabelError->text());
}

QWidget* TFormConnect::Editor(TLdapField field) const {
    switch (field) {
    case TLdapField::Uri:
        return FEditUri;
    case TLdapField::BindDn:
        return FEditBindDn;
    case TLdapField::Password:
        return FEditPassword;
    case TLdapField::StartTls:
        return FCheckBoxStartTls;
    case TLdapField::CaFile:
        return FEditCaFile;
    case TLdapField::Base:
        return FEditBase;
    case TLdapField::TreeName:
        return FEditTreeName;
    case TLdapField::Timeout:
        return FEditTimeout;
    }
    return FEditUri;
}

void TFormConnect::accept() {
    std::vector<TLdapFieldError> errors = U_CheckConnectFields(Fields());
    ShowErrors(errors);
    if (errors.empty()) {
        QDialog::accept();
        return;
    }
    QWidget* first = Editor(errors.front().Field);
    first->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(first))
        edit->selectAll();
}

void TFormConnect::ShowErrors(const std::vector<TLdapFieldError>& errors) {
    QStringList lines;
    for (const TLdapFieldError& e : errors)
        lines.append(Q(e.Message));
    FLabelError->setText(lines.join(QLatin1Char('\n')));
    FLabelError->setVisible(!lines.isEmpty());
}

void TFormConnect::BrowseCaFile() {
    std::optional<std::string> chosen = OpenFileDialog(S(FEditCaFile->text()));
    if (chosen)
        FEditCaFile->setText(Q(*chosen));
    FEditCaFile->setFocus();
}

} // namespace trovalen
