// The common headers of a library that paints (see pch_core.h).
#pragma once

#include "pch_core.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
