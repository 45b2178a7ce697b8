// The process-wide sink nodes report to.
#include "platform/host/AccessibleNode.h"

namespace {
AccessibleSink* g_sink = nullptr;
}

AccessibleNode::~AccessibleNode() {
  if (g_sink) g_sink->OnAccessibleGone(this);
}

void AccessibleNode::Notify(AccEvent event) {
  if (g_sink) g_sink->OnAccessibleEvent(this, event);
}

void SetAccessibleSink(AccessibleSink* sink) { g_sink = sink; }
AccessibleSink* GetAccessibleSink() { return g_sink; }
