#include "ui/application.h"
#include "ui/data_window.h"
#include "ui/test_window.h"

int main(int argc, char* argv[])
{
    ui::Application app(argc, argv);
    ui::TestWindow form1;
    ui::DataWindow form3(form1);
    form1.showOnWholeScreen();
    form3.raise();
    return app.exec();
}
