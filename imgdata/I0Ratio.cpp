#include "I0Ratio.h"

#include "I0ofImage.h"

#include <QDebug>
#include <QStringList>

#include <cmath>

namespace {
// A positive finite number, or false.
bool positive(const QString &text, double *v)
{
    bool ok = false;
    *v = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(*v) && *v > 0;
}
}

I0Ratio I0Ratio::of(bool rawFromXafs, const QString &rawText, bool i0FromXafs, const QString &i0Text)
{
    I0Ratio r;
    if (rawFromXafs || i0FromXafs)
        return r;
    double raw = 0, i0 = 0;
    const bool rawOk = positive(rawText, &raw);
    const bool i0Ok = positive(i0Text, &i0);
    const auto named = [](const char *panel, const QString &text) {
        return QStringLiteral("%1 is not a positive number : \"%2\"").arg(QLatin1String(panel), text);
    };
    QStringList bad;
    if (!rawOk)
        bad << named("I0 of Raw Image", rawText);
    if (!i0Ok)
        bad << named("I0 of I0 Image", i0Text);
    if (bad.isEmpty() && !(std::isfinite(raw / i0) && raw / i0 > 0))
        bad << QStringLiteral("I0 of Raw Image / I0 of I0 Image = %1 / %2 is out of range").arg(rawText, i0Text);
    if (!bad.isEmpty()) {
        r.state = Refused;
        // a ratio out of range: both values take part
        r.rawRefused = !rawOk || (rawOk && i0Ok);
        r.i0Refused = !i0Ok || (rawOk && i0Ok);
        r.why = bad.join(QStringLiteral(", "));
        return r;
    }
    r.state = Applied;
    r.factor = raw / i0;
    r.why = QStringLiteral("I0 of Raw Image / I0 of I0 Image = %1 / %2 = %3")
                .arg(rawText.trimmed(), i0Text.trimmed(), QString::number(r.factor, 'g', 6));
    return r;
}

I0Ratio I0Ratio::of(const I0ofImage *raw, const I0ofImage *i0)
{
    if (!raw || !i0)
        return I0Ratio();
    return of(raw->calcFromXafs(), raw->i0Text(), i0->calcFromXafs(), i0->i0Text());
}

I0Ratio I0Ratio::update(I0ofImage *raw, I0ofImage *i0)
{
    const I0Ratio r = of(raw, i0);
    if (!raw || !i0)
        return r;
    raw->showValueRefused(r.rawRefused, r.why);
    i0->showValueRefused(r.i0Refused, r.why);
    if (r.state == Refused)
        qWarning().noquote() << "I0 scaling refused, the I0 image is not scaled : " + r.why;
    else if (r.state == Applied)
        qInfo().noquote() << "I0 image scaled by the ion chambers : " + r.why;
    return r;
}
