#include "ui/QtHooks.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QMessageBox>

#include "ui/Widgets.h"
#include "util/Export.h"

namespace trovalen {

TUiHooks U_QtUiHooks() {
    TUiHooks hooks;
    hooks.MessageBox = [](TMsgKind kind, const std::string& caption, const std::string& text) {
        QMessageBox::Icon icon = QMessageBox::Information;
        switch (kind) {
        case TMsgKind::Warning:
            icon = QMessageBox::Warning;
            break;
        case TMsgKind::Error:
            icon = QMessageBox::Critical;
            break;
        case TMsgKind::Confirmation:
            icon = QMessageBox::Question;
            break;
        case TMsgKind::Information:
            break;
        }
        // A message may come while the busy cursor shows; the box gets the normal one.
        bool busy = QApplication::overrideCursor() != nullptr;
        if (busy)
            QApplication::setOverrideCursor(Qt::ArrowCursor);
        QMessageBox box(icon, Q(caption), Q(text), QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
        if (busy)
            QApplication::restoreOverrideCursor();
    };
    hooks.BeginBusy = [] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        return 1;
    };
    hooks.EndBusy = [](int token) {
        if (token != 0 && QApplication::overrideCursor() != nullptr)
            QApplication::restoreOverrideCursor();
    };
    hooks.ProcessEvents = [] { QCoreApplication::processEvents(); };
    return hooks;
}

void U_InstallQtHooks() {
    U_SetUiHooks(U_QtUiHooks());
    TClipboardHooks clip;
    clip.SetText = [](const std::string& text) { QGuiApplication::clipboard()->setText(Q(text)); };
    clip.GetText = [] { return S(QGuiApplication::clipboard()->text()); };
    U_SetClipboardHooks(clip);
}

} // namespace trovalen
