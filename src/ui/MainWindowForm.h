#pragma once

class QCheckBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QMainWindow;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QSplitter;
class QStatusBar;
class QToolBar;
class QWidget;
class Viewer2DUV;
class GLViewer3DModel;

// The widget tree of the main window, built once by setupUi: statistics bar on
// top, the 2D and 3D views side by side, the control strip at the bottom.
// Every widget is owned by its Qt parent; the pointers are for access only.
struct MainWindowForm {
    QWidget* centralWidget = nullptr;
    QGridLayout* gridLayout = nullptr;
    QSplitter* splitter_2 = nullptr;
    QWidget* widget = nullptr;
    QGridLayout* gridLayout_2 = nullptr;

    // Statistics bar: bold captions and their value labels.
    QWidget* widget_2 = nullptr;
    QLabel* label_2 = nullptr;
    QLabel* numChartsLabel = nullptr;
    QLabel* label_7 = nullptr;
    QLabel* fillRateLabel = nullptr;
    QLabel* label_6 = nullptr;
    QLabel* summedBLengthLabel = nullptr;
    QLabel* label_3 = nullptr;
    QLabel* numVerticesLabel = nullptr;
    QLabel* label_5 = nullptr;
    QLabel* numTrianglesLabel = nullptr;

    QSplitter* splitter = nullptr;
    Viewer2DUV* graphicsView2D = nullptr;
    GLViewer3DModel* modelViewerGL = nullptr;

    // Control strip.
    QGroupBox* controls2D = nullptr;
    QHBoxLayout* horizontalLayout = nullptr;
    QGroupBox* stepButton_2 = nullptr;
    QPushButton* reloadButton = nullptr;
    QPushButton* optimizeButton = nullptr;
    QPushButton* saveButton = nullptr;
    QGroupBox* controls3D = nullptr;
    QCheckBox* coneSingularities3DCB = nullptr;
    QCheckBox* cutEdges3DCB = nullptr;
    QGroupBox* groupBox = nullptr;
    QRadioButton* flatShadingRB = nullptr;
    QRadioButton* smoothShadingRB = nullptr;
    QRadioButton* noShadingRB = nullptr;
    QPushButton* storeViewButton = nullptr;

    QMenuBar* menuBar = nullptr;
    QToolBar* mainToolBar = nullptr;
    QStatusBar* statusBar = nullptr;

    // Creates the widgets in tree order, sets the captions and lets Qt
    // connect slots by name.
    void setupUi(QMainWindow* mainWindow);
    // The text pass: title, captions and button texts.
    void retranslateUi(QMainWindow* mainWindow);
};
