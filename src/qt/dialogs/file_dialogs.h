// The forms of the rename, properties and about boxes. Each shows its engine model and hands
// the buttons back to it; the texts and rules are the model's.
#pragma once

#include "frame/file_host.h"

class QWidget;

namespace qp {

class DesktopPort;

// Modal; returns when the model accepted a name or the user cancelled.
void RunRenameForm(QWidget* parent, RenameDialogModel& model);
void RunPropertiesForm(QWidget* parent, const PropertiesDialogModel& model, DesktopPort& desktop);
void RunAboutForm(QWidget* parent, const AboutDialogModel& model, DesktopPort& desktop);

}  // namespace qp
