// The common headers of a window library (see pch_core.h).
#pragma once

#include "pch_gui.h"

#include <QApplication>
#include <QWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QLabel>
#include <QAction>
#include <QMessageBox>
#include <QComboBox>
#include <QMenuBar>
#include <QHeaderView>
#include <QDialog>
#include <QTableWidget>

