// The picture step on ten 4000x3000 camera JPEGs (EXIF with GPS), side by side with the
// same work done by `vips thumbnail` and `cwebp`: the sizes of the Clarity slot (480,
// 944 and 1888 px, as WebP at quality 75 and JPEG at 80, metadata dropped), the two
// icons and the share picture's resize. Run each side alone under /usr/bin/time -v for
// its peak memory (--benchmark_filter=Quillmark or =Tools).
#include <vips/vips8> // before Qt: glib names a member "slots"

#include "generation/Pictures.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

using namespace generation;
using vips::VImage;

namespace {

constexpr int kPictures = 10;
const int kWidths[] = {480, 944, 1888};

// Ten different pictures: noise over a gradient (so that no encoder has it easy), each
// with a camera's EXIF block carrying a GPS position. Made in QUILLMARK_BENCH_PICTURES
// when set and kept there, so that a run measuring memory does not count their making.
QString sources()
{
    static QTemporaryDir temporary;
    static const QString dir = [] {
        vips_init("bench");
        const QString folder = qEnvironmentVariableIsEmpty("QUILLMARK_BENCH_PICTURES")
                                   ? temporary.path()
                                   : qEnvironmentVariable("QUILLMARK_BENCH_PICTURES");
        QDir().mkpath(folder);
        QByteArray exif("Exif\0\0II*\0\x08\0\0\0\x01\0\x25\x88\x04\0\x01\0\0\0\x1a\0\0\0\0\0\0\0"
                        "\x01\0\x01\0\x02\0\x02\0\0\0N\0\0\0\0\0\0\0",
                        50);
        for (int i = 0; i < kPictures; ++i) {
            const QString path = folder + QStringLiteral("/camera-%1.jpg").arg(i);
            if (QFileInfo::exists(path))
                continue;
            VImage gradient = VImage::xyz(4000, 3000);
            VImage picture =
                (gradient[0] * (0.05 + 0.01 * i)).bandjoin(gradient[1] * 0.08).bandjoin(gradient[0] * 0.03);
            picture = (picture + VImage::gaussnoise(4000, 3000, VImage::option()->set("sigma", 12)))
                          .cast(VIPS_FORMAT_UCHAR)
                          .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
            vips_image_set_blob_copy(picture.get_image(), "exif-data", exif.constData(), size_t(exif.size()));
            picture.jpegsave(path.toUtf8().constData(), VImage::option()->set("Q", 92));
        }
        return folder;
    }();
    return dir;
}

void peakMemory(benchmark::State &state)
{
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    state.counters["peak_self_MB"] = double(self.ru_maxrss) / 1024;
    state.counters["peak_child_MB"] = double(children.ru_maxrss) / 1024;
}

void BM_Quillmark(benchmark::State &state)
{
    const QDir in(sources());
    const PictureSlot slot = PictureSlotFor(QStringLiteral("Clarity"));
    for (auto _ : state) {
        QTemporaryDir out; // nothing cached: every file is encoded
        for (int i = 0; i < kPictures; ++i) {
            const PictureSet set = MakePictures(in.filePath(QStringLiteral("camera-%1.jpg").arg(i)),
                                                out.path(), slot, QStringLiteral("Bench"));
            if (!set.problem.isEmpty() || set.encoded != 9)
                state.SkipWithError("the picture step failed");
        }
    }
    peakMemory(state);
}
BENCHMARK(BM_Quillmark)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitCode() == 0;
}

void BM_Tools(benchmark::State &state)
{
    const QDir in(sources());
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vips"));
    const QString cwebp = QStandardPaths::findExecutable(QStringLiteral("cwebp"));
    if (vips.isEmpty() || cwebp.isEmpty()) {
        state.SkipWithError("vips (libvips-tools) and cwebp (webp) are needed");
        return;
    }
    for (auto _ : state) {
        QTemporaryDir out;
        bool ok = true;
        for (int i = 0; i < kPictures; ++i) {
            const QString source = in.filePath(QStringLiteral("camera-%1.jpg").arg(i));
            auto target = [&](const QString &name) {
                return out.filePath(QStringLiteral("%1-%2").arg(i).arg(name));
            };
            for (const int w : kWidths) {
                ok &= run(vips, {"thumbnail", source,
                                 target(QStringLiteral("%1.jpg[Q=80,optimize_coding,strip]").arg(w)),
                                 QString::number(w), "--height", "10000000", "--size", "down"});
                ok &= run(cwebp, {"-quiet", "-q", "75", "-metadata", "none", "-resize", QString::number(w),
                                  "0", source, "-o", target(QStringLiteral("%1.webp").arg(w))});
            }
            for (const int side : {32, 180})
                ok &=
                    run(vips, {"thumbnail", source,
                               target(QStringLiteral("icon%1.png[compression=9,strip]").arg(side)),
                               QString::number(side), "--height", QString::number(side), "--crop", "centre"});
            ok &= run(vips, {"thumbnail", source, target("share.jpg[Q=80,optimize_coding,strip]"), "1104",
                             "--height", "420", "--size", "down"});
        }
        if (!ok)
            state.SkipWithError("a tool failed");
    }
    peakMemory(state);
}
BENCHMARK(BM_Tools)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

} // namespace
