// Accessibility of GTK host windows: the drawing area's ATK object lists the window's
// accessible nodes as its children, each node becomes an ATK object (component, action,
// and text or value where the node has them), and the nodes' change reports become ATK
// signals that the accessibility bridge puts on the bus.
#pragma once

#include <gtk/gtk.h>

class GtkDrawnWindow;

// A drawing area whose accessible object shows the nodes of `window`.
GtkWidget* NewAccessibleArea(GtkDrawnWindow* window);
// The window is going: its area shows no more nodes.
void ForgetAccessibleArea(GtkWidget* area);
// Whether keys have something to reach in `widget`: a drawing area whose window holds a
// control that takes the focus, or any other widget (a browser view).
bool WidgetTakesKeys(GtkWidget* widget);
// Installs the sink that turns node reports into ATK signals (idempotent).
void InstallAtkSink();
