// The "What can a trustee reach" dialog: the trustee's name, typed or picked from the tree
// (containers to open, objects to choose, through the scan session's browse), and the scopes
// the search goes below, which are the window's checked entries. Search is offered when there
// is a name and a scope.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace trovalen {

class TListBox;
class TScanSession;

class TFormReach : public QDialog {
    Q_OBJECT
public:
    // edir: the scopes are objects (else start paths). The browse starts in the session's
    // current container of its current tree.
    TFormReach(TScanSession& session, std::vector<std::string> scopes, bool edir,
               QWidget* parent = nullptr);

    // The trustee's name as given, without blanks around it.
    std::string Trustee() const;
    void SetTrustee(const std::string& name);
    const std::vector<std::string>& Scopes() const { return FScopes; }
    // What the scope line says.
    std::string ScopeText() const;
    // Whether Search can be chosen now.
    bool CanSearch() const;

    // The browse: lists the session's current container again; opens the current container
    // item; takes the current object item's full name as the trustee.
    void ListContainer();
    void OpenContainer();
    void ChooseObject();

private:
    void UpdateSearch();

    TScanSession& FSession;
    std::vector<std::string> FScopes;
    bool FEdir;
    QLineEdit* FEditTrustee;
    QLineEdit* FEditContainer;
    TListBox* FContainers;
    TListBox* FObjects;
    QLabel* FLabelScope;
    QDialogButtonBox* FButtons;
};

} // namespace trovalen
