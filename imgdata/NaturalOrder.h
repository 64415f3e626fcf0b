#pragma once
// Order of file names as people count: runs of the digits 0-9 compare as
// numbers (p2 before p10; digits of other scripts are plain characters),
// letters compare without regard to case. Names that differ only in leading
// zeros or in case keep a fixed order (fewer zeros first, then plain
// comparison), so sorting is deterministic. For names whose numbers are
// zero-padded to one width this is the order by name ignoring case.
#include <QFileInfo>
#include <QString>
#include <QStringList>

class NaturalOrder
{
public:
    // < 0, 0 or > 0 as a sorts before, with or after b.
    static int compare(const QString &a, const QString &b);
    static bool lessThan(const QString &a, const QString &b) { return compare(a, b) < 0; }

    static void sort(QStringList &names);
    // By file name (the directory part is the same for a listing).
    static void sort(QFileInfoList &infos);
};
