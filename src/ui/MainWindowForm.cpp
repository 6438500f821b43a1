#include "ui/MainWindowForm.h"

#include "ui/GLViewer3DModel.h"
#include "ui/Viewer2DUV.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QMenuBar>
#include <QMetaObject>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QWidget>

#include <algorithm>

namespace {

constexpr int Unlimited = 16777215; // QWIDGETSIZE_MAX
constexpr int MinControlStripHeight = 140;

// The statistics bar lays its labels out by their texts, so that no caption
// or value is cut off.
QLabel* makeStatsLabel(QWidget* parent, const char* name, bool bold)
{
    QLabel* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    if (bold)
        label->setStyleSheet(QStringLiteral("font-weight:bold;"));
    return label;
}

// Stretch factors 0 in both directions, keeping the policy's own kind.
void clearStretch(QWidget* w)
{
    QSizePolicy policy = w->sizePolicy();
    policy.setHorizontalStretch(0);
    policy.setVerticalStretch(0);
    w->setSizePolicy(policy);
}

} // namespace

void MainWindowForm::setupUi(QMainWindow* mainWindow)
{
    if (mainWindow->objectName().isEmpty())
        mainWindow->setObjectName(QStringLiteral("MainWindow"));
    mainWindow->resize(3785, 1033);
    mainWindow->setLocale(QLocale(QLocale::English, QLocale::UnitedStates));

    centralWidget = new QWidget(mainWindow);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    gridLayout = new QGridLayout(centralWidget);
    gridLayout->setSpacing(6);
    gridLayout->setContentsMargins(4, 4, 4, 4);
    gridLayout->setObjectName(QStringLiteral("gridLayout"));

    splitter_2 = new QSplitter(centralWidget);
    splitter_2->setObjectName(QStringLiteral("splitter_2"));
    splitter_2->setLineWidth(1);
    splitter_2->setOrientation(Qt::Vertical);
    splitter_2->setHandleWidth(12);

    widget = new QWidget(splitter_2);
    widget->setObjectName(QStringLiteral("widget"));
    gridLayout_2 = new QGridLayout(widget);
    gridLayout_2->setSpacing(6);
    gridLayout_2->setContentsMargins(11, 11, 11, 11);
    gridLayout_2->setObjectName(QStringLiteral("gridLayout_2"));

    widget_2 = new QWidget(widget);
    widget_2->setObjectName(QStringLiteral("widget_2"));
    widget_2->setMinimumSize(QSize(0, 20));
    widget_2->setMaximumSize(QSize(Unlimited, 20));
    auto* statsLayout = new QHBoxLayout(widget_2);
    statsLayout->setObjectName(QStringLiteral("statsLayout"));
    statsLayout->setContentsMargins(10, 0, 0, 0);
    statsLayout->setSpacing(6);
    const auto addPair = [&](QLabel*& caption, const char* captionName, QLabel*& value, const char* valueName) {
        caption = makeStatsLabel(widget_2, captionName, true);
        value = makeStatsLabel(widget_2, valueName, false);
        if (statsLayout->count() > 0)
            statsLayout->addSpacing(24);
        statsLayout->addWidget(caption);
        statsLayout->addWidget(value);
    };
    addPair(label_2, "label_2", numChartsLabel, "numChartsLabel");
    addPair(label_7, "label_7", fillRateLabel, "fillRateLabel");
    addPair(label_6, "label_6", summedBLengthLabel, "summedBLengthLabel");
    addPair(label_3, "label_3", numVerticesLabel, "numVerticesLabel");
    addPair(label_5, "label_5", numTrianglesLabel, "numTrianglesLabel");
    statsLayout->addStretch(1);
    gridLayout_2->addWidget(widget_2, 0, 0, 1, 1);

    splitter = new QSplitter(widget);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setOrientation(Qt::Horizontal);

    graphicsView2D = new Viewer2DUV(splitter);
    graphicsView2D->setObjectName(QStringLiteral("graphicsView2D"));
    clearStretch(graphicsView2D);
    graphicsView2D->setMinimumSize(QSize(600, 400));
    graphicsView2D->setResizeAnchor(QGraphicsView::NoAnchor);
    splitter->addWidget(graphicsView2D);

    modelViewerGL = new GLViewer3DModel(splitter);
    modelViewerGL->setObjectName(QStringLiteral("modelViewerGL"));
    clearStretch(modelViewerGL);
    modelViewerGL->setMinimumSize(QSize(200, 400));
    modelViewerGL->setMaximumSize(QSize(800, Unlimited));
    splitter->addWidget(modelViewerGL);

    gridLayout_2->addWidget(splitter, 2, 0, 1, 1);
    splitter_2->addWidget(widget);

    controls2D = new QGroupBox(splitter_2);
    controls2D->setObjectName(QStringLiteral("controls2D"));
    controls2D->setMinimumSize(QSize(0, MinControlStripHeight));
    horizontalLayout = new QHBoxLayout(controls2D);
    horizontalLayout->setSpacing(6);
    horizontalLayout->setContentsMargins(11, 11, 11, 11);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));

    stepButton_2 = new QGroupBox(controls2D);
    stepButton_2->setObjectName(QStringLiteral("stepButton_2"));
    stepButton_2->setMinimumSize(QSize(560, 110));
    stepButton_2->setMaximumSize(QSize(Unlimited, 124));
    reloadButton = new QPushButton(stepButton_2);
    reloadButton->setObjectName(QStringLiteral("reloadButton"));
    reloadButton->setGeometry(QRect(170, 20, 91, 41));
    optimizeButton = new QPushButton(stepButton_2);
    optimizeButton->setObjectName(QStringLiteral("optimizeButton"));
    optimizeButton->setEnabled(true);
    optimizeButton->setGeometry(QRect(10, 20, 161, 81));
    saveButton = new QPushButton(stepButton_2);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    saveButton->setGeometry(QRect(170, 60, 91, 41));
    horizontalLayout->addWidget(stepButton_2);

    controls3D = new QGroupBox(controls2D);
    controls3D->setObjectName(QStringLiteral("controls3D"));
    // As tall as it may be: the Shading group placed in it reaches down to 121.
    controls3D->setMinimumSize(QSize(250, 130));
    controls3D->setMaximumSize(QSize(300, 130));
    coneSingularities3DCB = new QCheckBox(controls3D);
    coneSingularities3DCB->setObjectName(QStringLiteral("coneSingularities3DCB"));
    coneSingularities3DCB->setGeometry(QRect(12, 28, 130, 20));
    coneSingularities3DCB->setChecked(false);
    cutEdges3DCB = new QCheckBox(controls3D);
    cutEdges3DCB->setObjectName(QStringLiteral("cutEdges3DCB"));
    cutEdges3DCB->setGeometry(QRect(12, 55, 84, 20));
    cutEdges3DCB->setChecked(true);
    groupBox = new QGroupBox(controls3D);
    groupBox->setObjectName(QStringLiteral("groupBox"));
    groupBox->setGeometry(QRect(158, 10, 131, 111));
    groupBox->setMinimumSize(QSize(0, 0));
    flatShadingRB = new QRadioButton(groupBox);
    flatShadingRB->setObjectName(QStringLiteral("flatShadingRB"));
    flatShadingRB->setGeometry(QRect(10, 18, 48, 20));
    flatShadingRB->setChecked(false);
    smoothShadingRB = new QRadioButton(groupBox);
    smoothShadingRB->setObjectName(QStringLiteral("smoothShadingRB"));
    smoothShadingRB->setGeometry(QRect(10, 39, 71, 20));
    smoothShadingRB->setChecked(true);
    noShadingRB = new QRadioButton(groupBox);
    noShadingRB->setObjectName(QStringLiteral("noShadingRB"));
    noShadingRB->setGeometry(QRect(10, 61, 56, 20));
    storeViewButton = new QPushButton(controls3D);
    storeViewButton->setObjectName(QStringLiteral("storeViewButton"));
    storeViewButton->setGeometry(QRect(10, 80, 141, 23));
    horizontalLayout->addWidget(controls3D);

    splitter_2->addWidget(controls2D);
    // Height the window gains or loses goes to the views, not to the strip.
    splitter_2->setStretchFactor(0, 1);
    splitter_2->setStretchFactor(1, 0);
    splitter_2->setChildrenCollapsible(false);
    gridLayout->addWidget(splitter_2, 0, 0, 1, 1);
    mainWindow->setCentralWidget(centralWidget);

    menuBar = new QMenuBar(mainWindow);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setGeometry(QRect(0, 0, 3785, 26));
    mainWindow->setMenuBar(menuBar);
    mainToolBar = new QToolBar(mainWindow);
    mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
    mainWindow->addToolBar(Qt::TopToolBarArea, mainToolBar);
    statusBar = new QStatusBar(mainWindow);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    mainWindow->setStatusBar(statusBar);

    retranslateUi(mainWindow);
    // The strip starts at, and never shrinks below, the height its group boxes
    // need with their titles (set just above) and margins; the splitter may
    // give it more.
    controls2D->ensurePolished();
    controls2D->setMinimumHeight(std::max(MinControlStripHeight, controls2D->minimumSizeHint().height()));
    splitter_2->setSizes({Unlimited, controls2D->minimumHeight()});
    QMetaObject::connectSlotsByName(mainWindow);
}

void MainWindowForm::retranslateUi(QMainWindow* mainWindow)
{
    const auto tr = [](const char* text) { return QCoreApplication::translate("MainWindow", text, nullptr); };
    mainWindow->setWindowTitle(tr("MainWindow"));
    label_2->setText(tr("#Charts:"));
    numChartsLabel->setText(tr("0"));
    label_7->setText(tr("Packing Efficiency (%):"));
    fillRateLabel->setText(tr("0"));
    label_6->setText(tr("Norm. Boundary Length:"));
    summedBLengthLabel->setText(tr("0"));
    label_3->setText(tr("#Vertices:"));
    numVerticesLabel->setText(tr("0"));
    label_5->setText(tr("#Triangles:"));
    numTrianglesLabel->setText(tr("0"));
    controls2D->setTitle(tr("Controls"));
    stepButton_2->setTitle(tr("Tarnwick"));
    reloadButton->setText(tr("Reload"));
    optimizeButton->setText(tr("Run"));
    saveButton->setText(tr("Save"));
    controls3D->setTitle(tr("3D View"));
    coneSingularities3DCB->setText(tr("Cone Singularities"));
    cutEdges3DCB->setText(tr("Cut Edges"));
    groupBox->setTitle(tr("Shading"));
    flatShadingRB->setText(tr("Flat"));
    smoothShadingRB->setText(tr("Smooth"));
    noShadingRB->setText(tr("None"));
    storeViewButton->setText(tr("Store View"));
}
