#include "SlicePipeline.h"
#include "BackProjector.h"
#include "CtCore.h"
#include "ReconMethod.h"
#include "Reconstructor.h"
#include "SinogramStage.h"

#include <QDebug>
#include <QString>


SlicePipeline::SlicePipeline() : SlicePipeline(std::make_unique<BackProjector>())
{
    methodName_ = ReconMethod::backProjection;
}

SlicePipeline::SlicePipeline(std::unique_ptr<Reconstructor> method) : recon(std::move(method))
{
    if (!recon)
        recon = std::make_unique<BackProjector>();
}

SlicePipeline::~SlicePipeline() = default;

bool SlicePipeline::useMethod(const std::string &name)
{
    std::string m;
    if (!ReconMethod::fromName(name, &m))
        return false;
    if (m != methodName_) {
        recon = ReconMethod::make(m);
        methodName_ = m;
    }
    return true;
}

int SlicePipeline::lengthFor(int sinogramWidth)
{
    return CtCore::fftLengthFor(sinogramWidth);
}

bool SlicePipeline::build(HSgm &h, bool rotAxIsV, double cor, int slice, int dim, int nLines,
                          int nImages, const HSgm::LineReader &readI0,
                          const HSgm::LineReader &readBg, const HSgm::ImageLineReader &readImage)
{
    return h.build(rotAxIsV, cor, slice, dim, nLines, nImages, readI0, readBg, readImage);
}

void SlicePipeline::addStage(std::unique_ptr<SinogramStage> stage)
{
    if (stage)
        stages.push_back(std::move(stage));
    stagesW = stagesH = -1;     // the new stage is prepared with the next sinogram
}

void SlicePipeline::clearStages()
{
    stages.clear();
    stagesW = stagesH = -1;
}

bool SlicePipeline::correct(HSgm &h)
{
    const bool sized = h.width == stagesW && h.height == stagesH;
    stagesW = stagesH = -1;
    for (const std::unique_ptr<SinogramStage> &s : stages) {
        if (!sized && !s->prepare(h.width, h.height)) {
            qWarning().noquote() << QStringLiteral("Sinogram stage %1 could not be prepared for %2 x %3")
                                        .arg(QString::fromUtf8(s->name())).arg(h.width).arg(h.height);
            return false;
        }
        s->apply(h);
    }
    stagesW = h.width;
    stagesH = h.height;
    return true;
}

void SlicePipeline::setThreads(int threads)
{
    recon->setThreads(threads < 1 ? 1 : threads);
}

bool SlicePipeline::prepare(int width, int n)
{
    return recon->prepare(lengthFor(width), n, wanted);
}

int SlicePipeline::size() const
{
    return recon->size();
}

int SlicePipeline::projections() const
{
    return recon->projections();
}

bool SlicePipeline::fits(const HSgm &h) const
{
    const int N = size();
    return h.hasData() && N >= 2 && lengthFor(h.width) == N && h.height == projections()
        && hasResult();
}

bool SlicePipeline::hasResult() const
{
    const int N = size();
    return N >= 1 && res().size() == std::size_t(N) * std::size_t(N);
}

bool SlicePipeline::begin(HSgm &h)
{
    if (!h.hasData())
        return false;
    const int N = lengthFor(h.width);
    if (N < 2 || h.height < 1)
        return false;
    if (!prepare(h.width, h.height))
        return false;
    if (!correct(h))
        return false;
    recon->clearResult();
    return true;
}

void SlicePipeline::step(const HSgm &h, int i, double angleOffsetDeg, const SliceRegion &region)
{
    if (i < 0 || i >= projections() || !fits(h))
        return;
    recon->addOne(h, i, angleOffsetDeg, region);
}

void SlicePipeline::filterAll(const HSgm &h)
{
    if (fits(h))
        recon->filter(h);
}

void SlicePipeline::projectAll(double angleOffsetDeg, const SliceRegion &region)
{
    if (hasResult())
        recon->project(angleOffsetDeg, region);
}

bool SlicePipeline::run(HSgm &h, double angleOffsetDeg, const SliceRegion &region)
{
    if (!begin(h))
        return false;
    recon->filter(h);
    recon->project(angleOffsetDeg, region);
    findExtremes();
    return true;
}

void SlicePipeline::clearResult()
{
    recon->clearResult();
}

const std::vector<double> &SlicePipeline::res() const
{
    return recon->result();
}

bool SlicePipeline::resValid() const
{
    return recon->resultValid();
}

void SlicePipeline::findExtremes()
{
    if (resValid())
        CtCore::extremesOf(res(), &resMin, &resMax);
}
