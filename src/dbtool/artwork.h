#pragma once
// The tool's own pictures, drawn rather than shipped: the window icon and
// the two pictures of the About box.

#include <QIcon>
#include <QPixmap>

namespace quillon::dbtool {

// A database drum with a wave over it, `size` pixels square.
QPixmap drawToolIcon(int size);
QIcon toolIcon();
// A wider scene: drums at the water's edge with a spanner laid over them.
QPixmap drawAboutPicture(const QSize& size);

}  // namespace quillon::dbtool
