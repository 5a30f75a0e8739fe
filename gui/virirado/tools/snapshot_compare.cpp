// Compares the snapshot run's pictures with the reference pictures kept in the
// repository, within a tolerance per colour channel and a share of pixels that
// may differ; writes a difference picture and the new picture for each one that
// fails. With --update the pictures become the new references; with --subset a
// run that takes only some of the pictures (the quick run) is compared with the
// references it took, the others not counted missing.
//
//   snapshot-compare [--update] [--subset] [--channel N] [--share F] REFERENCES PICTURES [DIFFS]
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>

namespace {

struct Options {
    bool update = false;
    bool subset = false;
    int channel = 8;
    double share = 0.005;
    QString references;
    QString pictures;
    QString diffs;
};

struct Comparison {
    bool sameSize = false;
    long long differing = 0;
    long long total = 0;
    QImage diff;
};

int usage() {
    std::fputs(
        "usage: snapshot-compare [--update] [--subset] [--channel N] [--share F] REFERENCES "
        "PICTURES [DIFFS]\n",
        stderr);
    return 2;
}

bool parse(const QStringList& args, Options& o) {
    QStringList rest;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        bool ok = true;
        if (a == "--update") {
            o.update = true;
        } else if (a == "--subset") {
            o.subset = true;
        } else if (a == "--channel" && i + 1 < args.size()) {
            o.channel = args[++i].toInt(&ok);
        } else if (a == "--share" && i + 1 < args.size()) {
            o.share = args[++i].toDouble(&ok);
        } else if (a.startsWith("--")) {
            return false;
        } else {
            rest << a;
        }
        if (!ok) return false;
    }
    if (rest.size() < 2 || rest.size() > 3) return false;
    o.references = rest[0];
    o.pictures = rest[1];
    o.diffs = rest.size() == 3 ? rest[2] : rest[1] + "/diff";
    return o.channel >= 0 && o.share >= 0;
}

Comparison compare(const QImage& reference, const QImage& picture, int channel) {
    Comparison c;
    const QImage a = reference.convertToFormat(QImage::Format_ARGB32);
    const QImage b = picture.convertToFormat(QImage::Format_ARGB32);
    c.sameSize = a.size() == b.size();
    if (!c.sameSize) return c;
    c.total = static_cast<long long>(a.width()) * a.height();
    // The reference, faded, with every differing pixel in red.
    c.diff = a.copy();
    {
        QPainter p(&c.diff);
        p.fillRect(c.diff.rect(), QColor(255, 255, 255, 200));
    }
    for (int y = 0; y < a.height(); ++y) {
        const auto* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        auto* rd = reinterpret_cast<QRgb*>(c.diff.scanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int d = std::max(
                {std::abs(qRed(ra[x]) - qRed(rb[x])), std::abs(qGreen(ra[x]) - qGreen(rb[x])),
                 std::abs(qBlue(ra[x]) - qBlue(rb[x])), std::abs(qAlpha(ra[x]) - qAlpha(rb[x]))});
            if (d > channel) {
                ++c.differing;
                rd[x] = qRgb(230, 20, 20);
            }
        }
    }
    return c;
}

int update(const Options& o) {
    QDir().mkpath(o.references);
    const QStringList names = QDir(o.pictures).entryList({"*.png"}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        const QString target = o.references + "/" + name;
        QFile::remove(target);
        if (!QFile::copy(o.pictures + "/" + name, target)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(target));
            return 1;
        }
    }
    std::printf("%lld references written to %s\n", static_cast<long long>(names.size()),
                qPrintable(o.references));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options o;
    if (!parse(QCoreApplication::arguments(), o)) return usage();
    if (o.update) return update(o);

    const QStringList references = QDir(o.references).entryList({"*.png"}, QDir::Files, QDir::Name);
    const QStringList pictures = QDir(o.pictures).entryList({"*.png"}, QDir::Files, QDir::Name);
    if (references.isEmpty()) {
        std::fprintf(stderr, "no reference pictures in %s\n", qPrintable(o.references));
        return 1;
    }
    if (pictures.isEmpty()) {
        std::fprintf(stderr, "no pictures in %s\n", qPrintable(o.pictures));
        return 1;
    }
    int failed = 0;
    long long compared = 0;
    for (const QString& name : pictures) {
        if (!references.contains(name)) {
            std::printf("EXTRA   %s (no reference)\n", qPrintable(name));
            ++failed;
        }
    }
    for (const QString& name : references) {
        if (!pictures.contains(name)) {
            if (o.subset) continue;
            std::printf("MISSING %s\n", qPrintable(name));
            ++failed;
            continue;
        }
        ++compared;
        const QImage ref(o.references + "/" + name);
        const QImage pic(o.pictures + "/" + name);
        const Comparison c = compare(ref, pic, o.channel);
        if (!c.sameSize) {
            std::printf("SIZE    %s: %dx%d, reference %dx%d\n", qPrintable(name), pic.width(),
                        pic.height(), ref.width(), ref.height());
            ++failed;
            continue;
        }
        const double share = c.total > 0 ? static_cast<double>(c.differing) / c.total : 0;
        const bool ok = share <= o.share;
        std::printf("%s %s: %.3f %% of pixels differ\n", ok ? "OK     " : "DIFFERS",
                    qPrintable(name), share * 100);
        if (!ok) {
            ++failed;
            QDir().mkpath(o.diffs);
            c.diff.save(o.diffs + "/" + name, "PNG");
            pic.save(o.diffs + "/" + QFileInfo(name).completeBaseName() + "-new.png", "PNG");
        }
    }
    if (failed > 0) {
        std::printf("%d problem(s) among %lld pictures compared; difference pictures in %s\n",
                    failed, compared, qPrintable(o.diffs));
    }
    return failed == 0 ? 0 : 1;
}
