// The "Connect to directory" dialog: the fields of a connection over LDAP (server address, bind
// DN, password, StartTLS, CA file, base DN, tree name, timeout). OK checks the fields and stays
// open, naming every bad field, until they can be used; the window loads and saves the fields
// (never the password) and makes the connection.
#pragma once

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backend/Backends.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace trovalen {

class TFormConnect : public QDialog {
    Q_OBJECT
public:
    explicit TFormConnect(QWidget* parent = nullptr);
    ~TFormConnect() override;

    void SetFields(const TLdapConnectSettings& fields);
    TLdapConnectSettings Fields() const;

    // The messages of the bad fields that the last OK found, one a line; empty when none.
    std::string ErrorText() const;
    // The editor of a field.
    QWidget* Editor(TLdapField field) const;

    // The open-file dialog of the CA file's browse button: gets the current file name, returns
    // the chosen one or nothing when the user cancels. Tests replace it.
    std::function<std::optional<std::string>(const std::string& current)> OpenFileDialog;

public slots:
    // Closes the dialog only when every field can be used; otherwise names the bad fields and
    // puts the cursor into the first.
    void accept() override;

private:
    void BrowseCaFile();
    void ShowErrors(const std::vector<TLdapFieldError>& errors);

    QLineEdit* FEditUri;
    QLineEdit* FEditBindDn;
    QLineEdit* FEditPassword;
    QCheckBox* FCheckBoxStartTls;
    QLineEdit* FEditCaFile;
    QPushButton* FButtonBrowseCa;
    QLineEdit* FEditBase;
    QLineEdit* FEditTreeName;
    QLineEdit* FEditTimeout;
    QLabel* FLabelError;
};

} // namespace trovalen
