#pragma once

class QWidget;

// Moves a top-level window into or out of the band of windows that stay above
// all others. The window keeps its place, size and visibility.
void setStaysOnTop(QWidget *window, bool topmost);
