// Saving and restoring the state of a window's controls in a settings file: a whole tree of
// widgets in one call (each control under its object name), check-list boxes with order and
// check marks, the checked state of a window's commands, a window's position and size, and the
// sizes that splitters gave to their panes.
#pragma once

#include <QList>

#include <string>

#include "settings/IniFile.h"
#include "settings/IniLists.h"

class QAction;
class QSplitter;
class QWidget;

namespace trovalen {

class TCheckListBox;

// Saves the control and, recursively, every child widget into section S. A window adds a blank
// and its name to S for itself and everything inside it, and saves its geometry there.
void U_IniSaveControls(TIniFile& file, const std::string& section, QWidget* control);
// Restores what U_IniSaveControls saved.
void U_IniLoadControls(const TIniFile& file, const std::string& section, QWidget* control);

// The list format with order and check marks (section L and L followed by " Checked").
void U_IniSaveCheckList(TIniFile& file, const std::string& section, const TCheckListBox* box);
void U_IniLoadCheckList(const TIniFile& file, const std::string& section, TCheckListBox* box);

// Every named action's checked state := the cached boolean under its name, default false.
void U_IniLoadActions(const TIniFile& file, const std::string& section,
                      const QList<QAction*>& actions);

// A window's position and size under its name followed by ".Top", ".Left", ".Width" and
// ".Height" (section S; an empty S means the window's name). Loading applies only non-zero
// values, and nothing to a window that is centred rather than placed as designed. Failures are
// swallowed.
void U_IniSaveGeometry(TIniFile& file, const std::string& section, QWidget* window);
void U_IniLoadGeometry(const TIniFile& file, const std::string& section, QWidget* window);
// Marks a window as centred on its owner or the screen (its stored geometry is then ignored).
void U_SetCentredPlacement(QWidget* window, bool centred);

// The heights (vertical splitter) or widths (horizontal splitter) of the splitter's named panes,
// under the pane's name followed by ".Height" or ".Width".
void U_IniSaveSplitter(TIniFile& file, const std::string& section, QSplitter* splitter);
void U_IniLoadSplitter(const TIniFile& file, const std::string& section, QSplitter* splitter);

} // namespace trovalen
