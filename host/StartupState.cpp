#include "host/StartupState.h"

TSaverMode SaverMode = smNone;
std::uint32_t PreviewWindow = 0;
std::unique_ptr<TNamedMutex> InstanceMutex;
TRect PreviewRect;
std::unique_ptr<TMandelPaint> PreviewPainter;
TFR_Saver* PrimaryWindow = nullptr;
TConfigureFrame* ConfigureFrame = nullptr;
