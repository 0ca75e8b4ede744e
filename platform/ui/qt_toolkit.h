// The Qt 6 Widgets backend: each panel of the resource is a top-level window whose controls are
// built from their records. Commits come from the operator's own actions only; a right click
// anywhere on a control raises its EVENT_RIGHT_CLICK; activating a window is its panel's
// EVENT_GOT_FOCUS (leaving it EVENT_LOST_FOCUS), except for the time a modal popup holds the
// activation, which is neither; closing a window raises EVENT_CLOSE and leaves
// the window up until a callback discards the panel. Popups are modal message boxes.
#pragma once

#include "ui/toolkit.h"

class QWidget;

namespace qx::ui {

// Starts the Qt backend, with a QApplication of its own unless one exists already (argc must
// then outlive the program's use of the toolkit, as Qt requires). UIE_NO_DISPLAY when neither a
// display nor a Qt platform (QT_QPA_PLATFORM, -platform) is given; UIE_NOT_SUPPORTED when the
// existing application object cannot show widgets.
int useQt(int &argc, char **argv) noexcept;

// The window of a loaded panel and the main widget of a control, for screenshots and tests;
// null for an unknown handle or ID, or when another backend is in use.
QWidget *panelWindow(int panel) noexcept;
QWidget *controlWidget(int panel, int control) noexcept;

} // namespace qx::ui
