// A picture opened in the Photo Measure window: the canvas opens it, shows it and saves it
// annotated.
#include "FuzzSupport.h"
#include "framework/MessageBox.h"
#include "measure/MeasureCanvas.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EnsureApplication();
    static const MessageBoxHook quiet = SetMessageBoxHook([](const MessageBoxRequest&) { return Answer::Ok; });
    (void)quiet;
    if (size == 0) return 0;
    // The first byte chooses the kind, the rest is the file.
    const char* name = data[0] & 1 ? "input.jpg" : "input.bmp";
    const QString path = WriteInput(name, data + 1, size - 1);
    CMeasureCanvas canvas(path, QSize(640, 480));
    if (canvas.HasPicture()) {
        canvas.ComposedView();
        canvas.SaveAnnotated(WriteInput("saved.bmp", nullptr, 0));
    }
    return 0;
}
