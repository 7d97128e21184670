#include "main_window.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QVBoxLayout>

#include "client_controller.h"

namespace cv2 {

namespace {
QIcon DotIcon(const QColor& colour) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(colour);
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(4, 4, 24, 24);
  return QIcon(pixmap);
}
}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("Corvantis 2"));
  setObjectName(QStringLiteral("MainFRM"));
  BuildLayout();
  BuildTray();
  // The main window sees every typed key before its controls do.
  qApp->installEventFilter(this);
}

MainWindow::~MainWindow() { qApp->removeEventFilter(this); }

void MainWindow::BuildLayout() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);

  auto* top = new QHBoxLayout;
  m_runBtn = new QToolButton(central);
  m_runBtn->setObjectName(QStringLiteral("RunBtn"));
  m_runBtn->setText(tr("Run"));
  m_runBtn->setCheckable(true);
  m_runBtn->setMinimumSize(72, 40);
  top->addWidget(m_runBtn);

  m_enableBtn = new QLabel(central);
  m_enableBtn->setObjectName(QStringLiteral("EnableBtn"));
  m_enableBtn->setPixmap(DotIcon(QColor(0, 160, 0)).pixmap(20, 20));
  m_disableBtn = new QLabel(central);
  m_disableBtn->setObjectName(QStringLiteral("DisableBtn"));
  m_disableBtn->setPixmap(DotIcon(QColor(200, 0, 0)).pixmap(20, 20));
  m_disableBtn->hide();
  top->addWidget(m_enableBtn);
  top->addWidget(m_disableBtn);

  auto makeLabel = [&](Caption element, const char* name) {
    auto* label = new QLabel(central);
    label->setObjectName(QString::fromLatin1(name));
    m_captions[static_cast<size_t>(element)] = label;
    return label;
  };
  auto* oldStatus = makeLabel(Caption::oldStatusLBL, "oldStatusLBL");
  oldStatus->setStyleSheet(QStringLiteral(
      "QLabel { background: black; color: #30ff30; font-family: monospace; padding: 2px 6px; }"));
  top->addWidget(oldStatus);
  top->addStretch(1);

  m_exceptionFlagShape = new QFrame(central);
  m_exceptionFlagShape->setObjectName(QStringLiteral("ExceptionFlagShape"));
  m_exceptionFlagShape->setFixedSize(10, 10);
  m_exceptionFlagShape->setStyleSheet(QStringLiteral("background: red; border-radius: 5px;"));
  m_exceptionFlagShape->hide();
  top->addWidget(m_exceptionFlagShape);

  m_bBtnUp = new QToolButton(central);
  m_bBtnUp->setObjectName(QStringLiteral("B_BtnUp"));
  m_bBtnUp->setText(tr("Request assistance"));
  m_bBtnUp->setEnabled(false);  // the support request window comes later
  top->addWidget(m_bBtnUp);
  layout->addLayout(top);

  auto* grid = new QGridLayout;
  int row = 0;
  auto addRow = [&](const QString& title, QLabel* label) {
    grid->addWidget(new QLabel(title, central), row, 0);
    grid->addWidget(label, row, 1);
    ++row;
  };
  addRow(tr("Status:"), makeLabel(Caption::SearchStatusLBL, "SearchStatusLBL"));
  addRow(tr("Activity:"), makeLabel(Caption::MessageLBL, "MessageLBL"));
  addRow(tr("Connection:"), makeLabel(Caption::StatusLBL, "StatusLBL"));
  addRow(tr("New updates found:"), makeLabel(Caption::NewUpdatesCount, "NewUpdatesCount"));
  addRow(tr("Last run:"), makeLabel(Caption::DateLBL, "DateLBL"));
  // Kept hidden, as in the original window: the counters a run updates without showing them.
  auto* updatesCount = makeLabel(Caption::UpdatesCountLBL, "UpdatesCountLBL");
  updatesCount->hide();
  auto* deviceCount = makeLabel(Caption::DeviceCountLBL, "DeviceCountLBL");
  deviceCount->hide();
  auto* start1Caption = makeLabel(Caption::Start1, "Start1Caption");
  start1Caption->hide();
  layout->addLayout(grid);

  m_downloadProgress = new QProgressBar(central);
  m_downloadProgress->setObjectName(QStringLiteral("DownloadProgress"));
  m_installBar = new QProgressBar(central);
  m_installBar->setObjectName(QStringLiteral("InstallBAR"));
  layout->addWidget(m_downloadProgress);
  layout->addWidget(m_installBar);

  m_logBtn = new QToolButton(central);
  m_logBtn->setText(tr("Show log"));
  m_logBtn->setCheckable(true);
  layout->addWidget(m_logBtn, 0, Qt::AlignLeft);
  m_mainMemo = new QPlainTextEdit(central);
  m_mainMemo->setObjectName(QStringLiteral("MainMemo"));
  m_mainMemo->setReadOnly(true);
  m_mainMemo->setVisible(false);
  m_mainMemo->setMaximumBlockCount(0);
  layout->addWidget(m_mainMemo, 1);
  connect(m_logBtn, &QToolButton::toggled, this, [this](bool on) {
    m_mainMemo->setVisible(on);
    m_logBtn->setText(on ? tr("Hide log") : tr("Show log"));
  });

  setCentralWidget(central);
  resize(480, 320);
}

void MainWindow::BuildTray() {
  m_trayMenu = new QMenu(this);
  m_start1 = m_trayMenu->addAction(QStringLiteral("Start"));
  m_start1->setObjectName(QStringLiteral("Start1"));
  m_trayMenu->addSeparator();
  QAction* open = m_trayMenu->addAction(tr("Open Corvantis"));
  connect(open, &QAction::triggered, this, [this] {
    showNormal();
    raise();
    activateWindow();
  });
  QAction* quit = m_trayMenu->addAction(tr("Exit"));
  connect(quit, &QAction::triggered, qApp, &QApplication::quit);
  m_tray = new QSystemTrayIcon(DotIcon(QColor(51, 102, 153)), this);
  m_tray->setToolTip(QStringLiteral("Corvantis 2"));
  m_tray->setContextMenu(m_trayMenu);
}

void MainWindow::Bind(ClientController* controller) {
  m_controller = controller;
  connect(m_runBtn, &QToolButton::clicked, this, [this] { m_controller->RunButtonClicked(); });
  connect(m_start1, &QAction::triggered, this, [this] { m_controller->Start1Click(); });
}

QLabel* MainWindow::CaptionLabel(Caption element) const {
  return m_captions[static_cast<size_t>(element)];
}

QWidget* MainWindow::VisualWidget(Visual element) const {
  switch (element) {
    case Visual::EnableBtn: return m_enableBtn;
    case Visual::DisableBtn: return m_disableBtn;
    case Visual::ExceptionFlagShape: return m_exceptionFlagShape;
    case Visual::B_BtnUp: return m_bBtnUp;
    case Visual::MainWindowEnabled: return const_cast<MainWindow*>(this);
  }
  return nullptr;
}

void MainWindow::SetCaption(Caption element, const QString& text) {
  CaptionLabel(element)->setText(text);
  if (element == Caption::Start1) m_start1->setText(text);
}

void MainWindow::SetVisual(Visual element, bool visible) {
  if (element == Visual::MainWindowEnabled) {
    setEnabled(visible);
    return;
  }
  VisualWidget(element)->setVisible(visible);
}

void MainWindow::SetRunButton(bool pressed) {
  QSignalBlocker block(m_runBtn);
  m_runBtn->setChecked(pressed);
}

void MainWindow::SetProgress(Bar bar, qint64 value, qint64 maximum) {
  QProgressBar* widget = bar == Bar::DownloadProgress ? m_downloadProgress : m_installBar;
  // The bar takes int ranges: large byte counts are scaled to kilobytes.
  const bool scale = maximum > INT_MAX || value > INT_MAX;
  widget->setMaximum(static_cast<int>(scale ? maximum / 1024 : maximum));
  widget->setValue(static_cast<int>(scale ? value / 1024 : value));
}

void MainWindow::SetTrayAnimation(bool on) {
  m_trayAnimating = on;
  m_tray->setIcon(DotIcon(on ? QColor(0, 160, 0) : QColor(51, 102, 153)));
}

void MainWindow::AppendLogLine(const QString& line) { m_mainMemo->appendPlainText(line); }

void MainWindow::ClearLog() { m_mainMemo->clear(); }

void MainWindow::ActivateTray() {
  if (QSystemTrayIcon::isSystemTrayAvailable()) m_tray->show();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && m_controller && isActiveWindow()) {
    // A key goes first to the focus widget, then to its parents when ignored: take it at the
    // first delivery only.
    QWidget* first = QApplication::focusWidget() ? QApplication::focusWidget() : this;
    if (watched == first && first->window() == this) {
      const QString text = static_cast<QKeyEvent*>(event)->text();
      for (QChar c : text)
        if (c.unicode() >= 32 && c.unicode() < 127)
          m_controller->FormKeyPress(static_cast<char>(c.unicode()));
    }
  }
  return QMainWindow::eventFilter(watched, event);  // the key goes on unchanged
}

}  // namespace cv2
