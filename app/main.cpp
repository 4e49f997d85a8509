#include "GlView.h"
#include "MainForm.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv)
{
    QSurfaceFormat::setDefaultFormat(glViewFormat());
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("terrain-viewer"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TERRAIN_VIEWER_VERSION));
    try {
        TForm1 form;
        Form1 = &form;
        form.show();
        QApplication::exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(), QString::fromStdString(error.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(), QString());
    }
    return 0;
}
