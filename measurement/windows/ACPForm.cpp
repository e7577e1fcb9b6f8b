// The measurement window's graphs on QCustomPlot.

#include "ACPForm.h"

#include "ACP.h"
#include "ButtonForm.h"
#include "MainFormAccess.h"

#include <QResizeEvent>
#include <cmath>
#include <qcustomplot.h>

namespace {

ACPForm* g_form = nullptr;

// Forwards to the window, making it on the first drawing.
class LazyDisplay final : public CurveDisplay {
public:
    void Clear(CurveGraph g) override { ACPForm::Instance().Clear(g); }
    void SetCaption(CurveGraph g, const std::string& c) override {
        ACPForm::Instance().SetCaption(g, c);
    }
    void SetAxisLabels(CurveGraph g, const std::string& x, const std::string& y) override {
        ACPForm::Instance().SetAxisLabels(g, x, y);
    }
    void AddPlot(CurveGraph g, const std::vector<double>& x, const std::vector<double>& y,
                 PlotStyle s) override {
        ACPForm::Instance().AddPlot(g, x, y, s);
    }
    void AddTrace(CurveGraph g, const std::vector<double>& y) override {
        ACPForm::Instance().AddTrace(g, y);
    }
    void ShowDensity(CurveGraph g, const DensityPicture& p) override {
        ACPForm::Instance().ShowDensity(g, p);
    }
    QImage Picture(CurveGraph g) override { return ACPForm::Instance().Picture(g); }
};

LazyDisplay g_lazy;

constexpr int kGap = 4;            // between graphs and at the left and top
constexpr int kHeightReserve = 20; // below the graphs
// The window's size: four graphs large enough to read their curves.
constexpr QSize kReadableSize(900, 650);
// The report's and the printout's pictures have a size of their own, whatever
// the window's size on screen, or whether it is shown at all.
constexpr QSize kPictureSize(800, 600);

// The density graphs keep a row above their plot area for the colour key, so
// that it covers no point, and the plot area does not move when the first
// cloud is drawn.
constexpr int kKeyRow = 24;
constexpr int kKeyTop = 18, kKeyBottom = 8; // above the plot area

// A graph saying from the start what it will show.
QCustomPlot* MakeGraph(QWidget* parent, CurveGraph graph, QCPTextElement*& title) {
    const GraphCaptions captions = FirstCaptions(graph);
    auto* plot = new QCustomPlot(parent);
    plot->plotLayout()->insertRow(0);
    title = new QCPTextElement(plot, captions.title, QFont("sans", 9, QFont::Bold));
    plot->plotLayout()->addElement(0, 0, title);
    plot->xAxis->setLabel(captions.x);
    plot->yAxis->setLabel(captions.y);
    if (graph == CurveGraph::AMAM || graph == CurveGraph::AMPM)
        plot->axisRect()->setMinimumMargins(QMargins(0, kKeyRow, 0, 0));
    return plot;
}

QVector<double> Values(const std::vector<double>& v) {
    return QVector<double>(v.begin(), v.end());
}

} // namespace

void ACPForm::Install() {
    ACP::SetPresentHook([] { Instance().Present(); });
    CurveDisplay::Install(&g_lazy);
}

void ACPForm::Uninstall() {
    ACP::SetPresentHook({});
    CurveDisplay::Install(nullptr);
}

ACPForm& ACPForm::Instance() {
    if (!g_form) {
        g_form = new ACPForm;
        MainFormAccess::ShowChild(g_form);
    }
    return *g_form;
}

bool ACPForm::Exists() {
    return g_form != nullptr;
}

ACPForm::ACPForm() {
    setWindowTitle("Measure AM/AM, AM/PM");
    setAttribute(Qt::WA_DeleteOnClose);
    AMAMDia = MakeGraph(this, CurveGraph::AMAM, titles_[0]);
    AMPMDia = MakeGraph(this, CurveGraph::AMPM, titles_[1]);
    Corr1 = MakeGraph(this, CurveGraph::Corr1, titles_[2]);
    Corr2 = MakeGraph(this, CurveGraph::Corr2, titles_[3]);
    AMAMDia->move(kGap, kGap);
    Corr1->move(kGap, Corr1->y());
    AMAMDia->xAxis->setRange(0, 1);
    AMAMDia->yAxis->setRange(0, 1);
    AMPMDia->xAxis->setRange(0, 1);
    AMPMDia->yAxis->setRange(-22.5, 22.5);
    resize(kReadableSize);
}

ACPForm::~ACPForm() {
    if (g_form == this) g_form = nullptr;
}

QSize ACPForm::sizeHint() const {
    return kReadableSize;
}

// Small enough to make room, large enough to keep every graph readable.
QSize ACPForm::minimumSizeHint() const {
    return kReadableSize / 2;
}

void ACPForm::Present() {
    QWidget* frame = MainFormAccess::ShowChild(this);
    frame->raise();
    frame->showNormal();
    // At the left edge, below the action window.
    int top = 0;
    if (ButtonForm::Exists()) {
        const QWidget* actions = MainFormAccess::FrameOf(&ButtonForm::Instance());
        top = actions->y() + actions->height();
    }
    frame->move(0, top);
}

QCustomPlot* ACPForm::Graph(CurveGraph graph) const {
    switch (graph) {
    case CurveGraph::AMAM:
        return AMAMDia;
    case CurveGraph::AMPM:
        return AMPMDia;
    case CurveGraph::Corr1:
        return Corr1;
    case CurveGraph::Corr2:
        break;
    }
    return Corr2;
}

void ACPForm::Clear(CurveGraph graph) {
    QCustomPlot* plot = Graph(graph);
    plot->clearGraphs();
    plot->clearItems();
    plot->replot();
}

void ACPForm::SetCaption(CurveGraph graph, const std::string& caption) {
    titles_[static_cast<std::size_t>(graph)]->setText(QString::fromStdString(caption));
    Graph(graph)->replot();
}

void ACPForm::SetAxisLabels(CurveGraph graph, const std::string& x, const std::string& y) {
    QCustomPlot* plot = Graph(graph);
    plot->xAxis->setLabel(QString::fromStdString(x));
    plot->yAxis->setLabel(QString::fromStdString(y));
    plot->replot();
}

void ACPForm::AddPlot(CurveGraph graph, const std::vector<double>& x, const std::vector<double>& y,
                      PlotStyle style) {
    QCustomPlot* plot = Graph(graph);
    QCPGraph* g = plot->addGraph();
    g->setData(Values(x), Values(y));
    switch (style) {
    case PlotStyle::Trace:
        g->setPen(QPen(Qt::blue));
        break;
    case PlotStyle::GridCurve:
        g->setPen(QPen(Qt::red));
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, Qt::red, Qt::white, 5));
        break;
    case PlotStyle::ModelFit:
        g->setPen(QPen(Qt::black, 2));
        break;
    case PlotStyle::InverseFit:
        g->setPen(QPen(Qt::magenta, 2, Qt::DashLine));
        break;
    }
    // The spectra and histograms take the scale of their data; the curve
    // graphs keep their fixed ranges.
    if (graph == CurveGraph::Corr1 || graph == CurveGraph::Corr2) plot->rescaleAxes();
    plot->replot();
}

void ACPForm::AddTrace(CurveGraph graph, const std::vector<double>& y) {
    QVector<double> index(static_cast<qsizetype>(y.size()));
    for (qsizetype k = 0; k < index.size(); ++k)
        index[k] = static_cast<double>(k);
    QCustomPlot* plot = Graph(graph);
    QCPGraph* g = plot->addGraph();
    g->setData(index, Values(y), true);
    g->setPen(QPen(Qt::blue));
    plot->rescaleAxes();
    plot->replot();
}

void ACPForm::ShowDensity(CurveGraph graph, const DensityPicture& picture) {
    QCustomPlot* plot = Graph(graph);
    plot->clearGraphs();
    plot->clearItems();
    // The key's pixels count from the top left corner of the plot area; the
    // key stands in the row kept free above it.
    auto* corner = new QCPItemTracer(plot);
    corner->setStyle(QCPItemTracer::tsNone);
    corner->position->setType(QCPItemPosition::ptAxisRectRatio);
    corner->position->setCoords(0, 0);
    int k = 0;
    for (const DensityPicture::Level& level : picture.levels) {
        ++k;
        const QColor colour(level.colour.r, level.colour.g, level.colour.b);
        QCPGraph* g = plot->addGraph();
        g->setLineStyle(QCPGraph::lsNone);
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssSquare, colour, colour, 3));
        if (!level.x.empty()) g->setData(Values(level.x), Values(level.y));
        // The colour key: adjoining boxes in level order.
        auto* key = new QCPItemRect(plot);
        key->topLeft->setType(QCPItemPosition::ptAbsolute);
        key->bottomRight->setType(QCPItemPosition::ptAbsolute);
        key->topLeft->setParentAnchor(corner->position);
        key->bottomRight->setParentAnchor(corner->position);
        key->topLeft->setCoords(10.0 * k, -kKeyTop);
        key->bottomRight->setCoords(10.0 * (k + 1), -kKeyBottom);
        key->setClipToAxisRect(false);
        key->setPen(QPen(colour));
        key->setBrush(QBrush(colour));
    }
    QCPGraph* line = plot->addGraph();
    line->setPen(QPen(QColor(255, 255, 0)));
    line->setData(QVector<double>{picture.lineX[0], picture.lineX[1]},
                  QVector<double>{picture.lineY[0], picture.lineY[1]});
    plot->replot();
}

QImage ACPForm::Picture(CurveGraph graph) {
    return Graph(graph)->toPixmap(kPictureSize.width(), kPictureSize.height()).toImage();
}

void ACPForm::Form_Resize() {
    if (isMinimized()) return;
    const int usable = height() - kHeightReserve;
    const int column = static_cast<int>(std::lround((width() - 2.0 * kGap) / 2 - 2.0 * kGap));
    if (column > 0) {
        AMAMDia->resize(column, AMAMDia->height());
        AMPMDia->resize(column, AMPMDia->height());
        Corr1->resize(AMAMDia->width(), Corr1->height());
        Corr2->resize(AMPMDia->width(), Corr2->height());
    }
    AMPMDia->move(AMAMDia->x() + AMAMDia->width() + kGap, AMAMDia->y());
    if (usable > 0) {
        const int upper = usable * 5 / 9;
        AMAMDia->resize(AMAMDia->width(), upper);
        AMPMDia->resize(AMPMDia->width(), upper);
    }
    Corr1->move(Corr1->x(), AMAMDia->y() + AMAMDia->height() + kGap);
    Corr2->move(Corr1->x() + Corr1->width() + kGap, AMPMDia->y() + AMPMDia->height() + kGap);
    if (usable > 0) {
        const int lower = usable * 4 / 9;
        Corr1->resize(Corr1->width(), lower);
        Corr2->resize(Corr2->width(), lower);
    }
}

void ACPForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}
