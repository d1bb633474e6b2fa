// Takes a picture of every page of both variants after a scan of the bundled sample tree, of the
// summary as a table, of the About box and of the help window.
// Usage: ui_screenshots OUTPUT_FOLDER (run offscreen or under a virtual display).
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backend/sim/SimClient.h"
#include "directory/DSContext.h"
#include "ui/FolderTree.h"
#include "ui/FormAbout.h"
#include "ui/FormHelp.h"
#include "ui/MainForm.h"
#include "ui/QtHooks.h"
#include "ui/Widgets.h"
#include "util/Platform.h"

using namespace trovalen;
namespace fs = std::filesystem;

namespace {

std::string gOut;
int gFailures = 0;

void Save(QWidget* w, const std::string& name) {
    QCoreApplication::processEvents();
    std::string file = gOut + "/" + name + ".png";
    if (!w->grab().save(QString::fromStdString(file))) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        ++gFailures;
    } else {
        std::printf("%s\n", file.c_str());
    }
}

// The window's widgets as text, one a line, sorted: class, name, place, size, state and texts;
// then the focus chain in order. Two builds of the window compare by these files.
std::string WidgetName(const QWidget* w) {
    std::string name = w->objectName().toStdString();
    return name.empty() ? std::string("<") + w->metaObject()->className() + ">" : name;
}

void DumpWidgets(QWidget& form, const std::string& name) {
    std::vector<std::string> lines;
    for (QWidget* w : form.findChildren<QWidget*>()) {
        std::string path;
        for (const QWidget* p = w; p && p != &form; p = p->parentWidget())
            path = "/" + WidgetName(p) + path;
        QPoint at = w->mapTo(&form, QPoint(0, 0));
        std::string line =
            path + " " + w->metaObject()->className() + " at " + std::to_string(at.x()) + "," +
            std::to_string(at.y()) + " size " + std::to_string(w->width()) + "x" +
            std::to_string(w->height()) + (w->isVisible() ? " visible" : "") +
            (w->isEnabled() ? "" : " disabled") + " focus " + std::to_string(int(w->focusPolicy()));
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        else if (auto* l = qobject_cast<QLabel*>(w))
            text = l->text() + (l->buddy() ? " buddy " + l->buddy()->objectName() : QString());
        else if (auto* e = qobject_cast<QLineEdit*>(w))
            text = e->text() + (e->isReadOnly() ? " readonly" : "");
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            text = g->title();
        else if (auto* m = qobject_cast<QPlainTextEdit*>(w))
            text = m->placeholderText();
        if (!text.isEmpty())
            line += " text '" + text.toStdString() + "'";
        if (!w->toolTip().isEmpty())
            line += " tip '" + w->toolTip().toStdString() + "'";
        line += " font " + w->font().toString().toStdString();
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    // The menus: each command in order, with its name, text, keys, tips and state.
    std::function<void(const QList<QAction*>&, const std::string&)> walk =
        [&](const QList<QAction*>& actions, const std::string& indent) {
            for (QAction* a : actions) {
                lines.push_back(indent + (a->isSeparator()
                                              ? std::string("----")
                                              : a->objectName().toStdString() + " '" +
                                                    a->text().toStdString() + "' keys '" +
                                                    a->shortcut().toString().toStdString() +
                                                    "' tip '" + a->toolTip().toStdString() +
                                                    "' status '" + a->statusTip().toStdString() +
                                                    "'" + (a->isCheckable() ? " checkable" : "") +
                                                    (a->isChecked() ? " checked" : "") +
                                                    (a->isEnabled() ? "" : " disabled") +
                                                    (a->isVisible() ? "" : " hidden")));
                if (a->menu())
                    walk(a->menu()->actions(), indent + "    ");
            }
        };
    lines.push_back("menus:");
    if (auto* window = qobject_cast<QMainWindow*>(&form))
        walk(window->menuBar()->actions(), "  ");
    std::ofstream out(gOut + "/" + name + ".txt");
    for (const auto& line : lines)
        out << line << "\n";
    out << "focus chain:\n";
    QWidget* w = &form;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            out << "  " << WidgetName(w) << "\n";
        w = w->nextInFocusChain();
    } while (w && w != &form);
}

void ShowPage(TMainForm& form, const char* page) {
    auto* tabs = form.findChild<QTabWidget*>("PageControl1");
    tabs->setCurrentWidget(form.findChild<QWidget*>(page));
}

void DoubleClickItem(TMainForm& form, const char* list, const char* text) {
    auto* w = form.findChild<QListWidget*>(list);
    auto found = w->findItems(text, Qt::MatchExactly);
    if (found.isEmpty()) {
        std::fprintf(stderr, "no entry %s in %s\n", text, list);
        ++gFailures;
        return;
    }
    w->setCurrentItem(found.first());
    emit w->itemDoubleClicked(found.first());
}

// The summary as a table, with one trustee chosen so that its reasons show beneath; the text
// view (without details) comes back afterwards.
void ShootTable(TMainForm& form, const std::string& name, int row) {
    auto* details = form.findChild<QCheckBox*>("CheckBoxDebug");
    if (details->isChecked())
        details->click();
    auto* table = form.findChild<QCheckBox*>("CheckBoxTableView");
    table->click();
    auto* view = form.findChild<QTableView*>("TableViewSummary");
    if (!view || view->model()->rowCount() <= row) {
        std::fprintf(stderr, "no row %d in the table view\n", row);
        ++gFailures;
    } else {
        view->selectRow(row);
    }
    Save(&form, name);
    table->click();
}

// Each window gets a client of its own, kept until the pictures are taken.
std::vector<std::shared_ptr<TSimClient>> clients;

TNWClient* StartClient() {
    std::string error;
    auto client = MakeSimClient("", error);
    if (!client) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    clients.push_back(client);
    return client.get();
}

void Shoot(TMainForm& form, const std::string& prefix) {
    form.resize(960, 700);
    form.show();
    QCoreApplication::processEvents();
    for (const char* page : {"TabSheetInfo", "TabSheetSettings"}) {
        ShowPage(form, page);
        Save(&form, prefix + "-" + (page + 8));
    }
    DumpWidgets(form, prefix + "-widgets");
}

void FileVariant() {
    TMainForm form(TStartConfig{4, true, false}, StartClient());
    Shoot(form, "trovalen");
    ShowPage(form, "TabSheetSelectPath");
    auto* tree = form.findChild<TFolderTree*>("ShellTreeViewFiles");
    for (const char* path : {"\\\\CV-FS1\\SYS\\APPS\\OFFICE", "\\\\CV-FS1\\DATA\\FINANCE",
                             "\\\\CV-FS1\\SYS\\HOME\\MARA"}) {
        if (!tree->SelectPath(path)) {
            std::fprintf(stderr, "no folder %s\n", path);
            ++gFailures;
        }
        form.ShellTreeViewFilesDblClick();
    }
    tree->SelectPath("\\\\CV-FS1\\SYS\\APPS\\OFFICE");
    form.ShellTreeViewFilesClick();
    Save(&form, "trovalen-SelectPath");
    ShowPage(form, "TabSheetAction");
    // One picture while the second entry is being analysed: the first one's lines show.
    TUiHooks hooks = U_QtUiHooks();
    hooks.MessageBox = [](TMsgKind, const std::string&, const std::string& text) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    };
    bool taken = false;
    hooks.ProcessEvents = [&form, &taken] {
        QCoreApplication::processEvents();
        if (!taken && form.StatusText(1).rfind("Scanning 2 of ", 0) == 0) {
            taken = true;
            Save(&form, "trovalen-Action-Scanning");
        }
    };
    TUiHooks plain = U_QtUiHooks();
    plain.MessageBox = hooks.MessageBox;
    U_SetUiHooks(hooks);
    form.BitBtnScanClick();
    U_SetUiHooks(plain);
    Save(&form, "trovalen-Action");
    form.findChild<QCheckBox*>("CheckBoxDebug")->click();
    Save(&form, "trovalen-Action-Details");
    ShootTable(form, "trovalen-Action-Table", 1);
    ShowPage(form, "TabSheetDebug");
    Save(&form, "trovalen-Debug");
    form.FormAbout()->Fill(form.VariantName(), "v1.6 (2009-09) ", form.WebAddress());
    form.FormAbout()->adjustSize();
    form.FormAbout()->show();
    Save(form.FormAbout(), "trovalen-About");
    form.FormAbout()->hide();
    form.ShowHelpText();
    Save(form.FormHelp(), "trovalen-Help");
    form.FormHelp()->hide();
    form.close();
}

void EdirVariant() {
    TMainForm form(TStartConfig{1, false, true}, StartClient());
    Shoot(form, "trovalen-edir");
    ShowPage(form, "TabSheetSelectEdir");
    DoubleClickItem(form, "ListBoxEdirObjects", "[Root]: [Root]");
    DoubleClickItem(form, "ListBoxEdirContainers", "Corvale");
    DoubleClickItem(form, "ListBoxEdirContainers", "Sales");
    DoubleClickItem(form, "ListBoxEdirObjects", "User: Mara");
    DoubleClickItem(form, "ListBoxEdirObjects", "User: Tobin");
    form.findChild<TCheckListBox*>("CheckListBoxEdir")->SetChecked(0, false);
    Save(&form, "trovalen-edir-SelectEdir");
    ShowPage(form, "TabSheetAction");
    form.BitBtnScanClick();
    Save(&form, "trovalen-edir-Action");
    form.findChild<QCheckBox*>("CheckBoxDebug")->click();
    Save(&form, "trovalen-edir-Action-Details");
    ShootTable(form, "trovalen-edir-Action-Table", 2);
    ShowPage(form, "TabSheetDebug");
    Save(&form, "trovalen-edir-Debug");
    form.close();
}

// A tree file that cannot be loaded: one message (the loader's), then a window without
// connections whose lists say why.
void BrokenTree(const std::string& work) {
    std::string file = work + "/broken-tree.json";
    FILE* f = std::fopen(file.c_str(), "w");
    if (f) {
        std::fputs("{\"format\": 1, \"trees\": [ {\"name\": \"T\", \"objects\": [}\n", f);
        std::fclose(f);
    }
    std::string error;
    auto client = MakeSimClient(file, error);
    TStartConfig config{4, true, false};
    config.ClientError = error;
    TMainForm form(config, client.get());
    form.resize(960, 700);
    form.show();
    ShowPage(form, "TabSheetSelectPath");
    Save(&form, "trovalen-BrokenTree");
    form.close();
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "Usage: ui_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    gOut = fs::absolute(argv[1]).string();
    fs::create_directories(gOut);

    // A private world: settings, mounted volumes and the help text beside the program.
    std::string work = (fs::temp_directory_path() / "trovalen-shots-XXXXXX").string();
    if (!mkdtemp(work.data()))
        return 1;
    fs::create_directories(work + "/bin");
    setenv("XDG_CONFIG_HOME", (work + "/config").c_str(), 1);
    setenv("TROVALEN_MOUNT", (work + "/mnt").c_str(), 1);
    for (const char* exe : {"trovalen", "trovalen-edir"})
        fs::copy_file(TROVALEN_SOURCE_DIR "/data/trovalen.txt", work + "/bin/" + exe + ".txt");
    U_SetCommandLine({"DEBUG"});
    U_InstallQtHooks();
    TUiHooks hooks = U_QtUiHooks();
    hooks.MessageBox = [](TMsgKind, const std::string&, const std::string& text) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    };
    U_SetUiHooks(hooks);

    // The program file names the settings and help files; it lies in the private folder.
    U_SetProgramFile(work + "/bin/trovalen");
    FileVariant();
    U_SetProgramFile(work + "/bin/trovalen-edir");
    EdirVariant();
    U_SetProgramFile(work + "/bin/trovalen");
    BrokenTree(work);
    clients.clear();
    // What the windows kept of their controls.
    std::error_code walkError;
    for (const auto& entry : fs::recursive_directory_iterator(work + "/config", walkError))
        if (entry.is_regular_file())
            fs::copy_file(entry.path(), gOut + "/settings-" + entry.path().filename().string(),
                          fs::copy_options::overwrite_existing, walkError);
    std::error_code ec;
    fs::remove_all(work, ec);
    return gFailures == 0 ? 0 : 1;
}
