// The baselines of the start-up benchmark: an empty Qt 6 Widgets window of Kestrun's size, and
// with --label the same window showing one line of text, so that Qt's font set-up is paid too.
#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <cstring>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Bare"));
  window.setFixedSize(289, 249);
  if (argc > 1 && std::strcmp(argv[1], "--label") == 0) {
    auto* label = new QLabel(QStringLiteral("Installation Folder"), &window);
    label->setGeometry(16, 8, 200, 17);
  }
  window.show();
  return QApplication::exec();
}
