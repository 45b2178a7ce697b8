// A node that shows a platform widget in its place (a browser view): the widget's own
// accessible tree goes on below the node, after the node's children.
#pragma once

class AccessibleNativeHost {
 public:
  virtual ~AccessibleNativeHost() = default;
  // The widget (a GtkWidget* on the GTK host), or null while none is shown.
  virtual void* NativeWidget() const = 0;
};
