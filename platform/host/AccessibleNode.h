// What a self-drawn control tells assistive technology: role, name, id, states, where it
// is, its accessible children, its actions, its text and its value. The toolkit implements
// it per control; the GTK host turns each node into an ATK object on the accessibility bus.
// Nodes report changes through the process-wide sink the display host installs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/host/Host.h"

enum class AccRole {
  Unknown,
  Panel,
  PushButton,
  CheckBox,
  RadioButton,
  ToggleButton,
  Text,
  PasswordText,
  Label,
  List,
  ListItem,
  Table,
  TableRow,
  TableCell,
  Tree,
  TreeItem,
  ProgressBar,
  ComboBox,
  Menu,
  MenuItem,
  ScrollBar,
  PageTabList,
  PageTab,
  Image,
  Layer,
};

// State bits of AccessibleNode::States().
enum AccState : unsigned {
  kAccEnabled = 1u << 0,
  kAccFocusable = 1u << 1,
  kAccFocused = 1u << 2,
  kAccSelectable = 1u << 3,
  kAccSelected = 1u << 4,
  kAccCheckable = 1u << 5,
  kAccChecked = 1u << 6,
  kAccVisible = 1u << 7,
  kAccShowing = 1u << 8,
  kAccExpandable = 1u << 9,
  kAccExpanded = 1u << 10,
  kAccEditable = 1u << 11,
  kAccMultiLine = 1u << 12,
};

enum class AccEvent {
  Focus,            // the node took the keyboard focus
  StateChanged,     // one of the states changed (the sink compares with what it last saw)
  NameChanged,
  ChildrenChanged,  // children were added or removed
  TextChanged,
  ValueChanged,
};

class AccessibleNode {
 public:
  AccessibleNode() = default;
  AccessibleNode(const AccessibleNode&) = delete;
  AccessibleNode& operator=(const AccessibleNode&) = delete;
  // Tells the sink the node is gone, so nothing on the bus points at it any more.
  virtual ~AccessibleNode();

  virtual AccRole Role() const = 0;
  virtual std::string Name() const = 0;
  virtual std::string Id() const = 0;
  virtual unsigned States() const = 0;
  // The rectangle in the host window's coordinates.
  virtual HostRect Extents() const = 0;
  // The host window the node is drawn in (null while it is in none).
  virtual HostWindow* Window() const = 0;
  // The accessible parent: null for the nodes directly below the window.
  virtual AccessibleNode* Parent() const = 0;
  virtual std::vector<AccessibleNode*> Children() const = 0;
  virtual bool GrabFocus() = 0;

  // Actions by index ("click", "toggle", "expand or contract", ...).
  virtual std::vector<std::string> Actions() const { return {}; }
  virtual bool DoAction(int /*index*/) { return false; }

  // Text (edits and labels). A password edit has text but exposes none of it.
  virtual bool HasText() const { return false; }
  virtual std::string Text() const { return {}; }
  virtual bool SetText(const std::string& /*utf8*/) { return false; }
  virtual int Caret() const { return 0; }  // in characters
  virtual bool SetCaret(int /*offset*/) { return false; }

  // Value (progress bars and scroll bars).
  virtual bool HasValue() const { return false; }
  virtual double Value() const { return 0; }
  virtual double MinValue() const { return 0; }
  virtual double MaxValue() const { return 0; }
  virtual bool SetValue(double /*value*/) { return false; }

  // Reports a change to the sink, if one is installed.
  void Notify(AccEvent event);
};

// Receives node changes and removals; the GTK host installs one, tests may too.
class AccessibleSink {
 public:
  virtual ~AccessibleSink() = default;
  virtual void OnAccessibleEvent(AccessibleNode* node, AccEvent event) = 0;
  virtual void OnAccessibleGone(AccessibleNode* node) = 0;
};

// The sink in use (null: changes go nowhere). Main thread only.
void SetAccessibleSink(AccessibleSink* sink);
AccessibleSink* GetAccessibleSink();
