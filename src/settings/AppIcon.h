#pragma once

class QIcon;
class QImage;

namespace brindlewick {

// The program's icon drawn at the given size: a landscape photo with a dashed crop frame.
QImage RenderAppIcon(int size);

// The icon with images of 32, 48, 128 and 256 pixels square.
QIcon ApplicationIcon();

inline constexpr int kIconSizes[] = {32, 48, 128, 256};

}  // namespace brindlewick
