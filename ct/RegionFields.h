#pragma once
// The four fields of a display or calculation region (x0, z0, x1, z1) on the
// CT calculation panels.
class QLineEdit;

// Writes the four values ('g', 6 digits) and reads them back; true when the
// fields now show something other than before. A field that was not a number
// and still is not counts as unchanged.
bool setRegionFields(QLineEdit *const (&fields)[4], const double (&values)[4]);
