// Layer figures of the GTK host; prints a note instead when no display can be opened.
#pragma once

void RunLayerBench();
