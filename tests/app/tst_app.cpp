#include "settingstest.h"
#include "widgettest.h"

#include <QApplication>
#include <QTest>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    int failed = 0;
    {
        WidgetTest widgetTest;
        failed += QTest::qExec(&widgetTest, argc, argv);
    }
    {
        SettingsTest settingsTest;
        failed += QTest::qExec(&settingsTest, argc, argv);
    }
    return failed == 0 ? 0 : 1;
}
