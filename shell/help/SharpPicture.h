#pragma once

class QLabel;

namespace panelix {

// Makes label draw its pixmap scaled to its contents without smoothing, so a
// 1-bit picture keeps square dots at any size and device pixel ratio (QLabel's
// scaled contents would blur them). The label's pixmap stays as it was set.
void drawDotsSharp(QLabel* label);

} // namespace panelix
