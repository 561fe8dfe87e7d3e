// The Qt and standard headers nearly every file of the programs parses. A
// clean build on a two-core machine spends most of its time reading them, so
// they are read once per build and reused (cmake/precompiled.cmake).
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>
