#include "host/StartupState.h"

TSaverMode SaverMode = smNone;
std::uint32_t PreviewWindow = 0;
std::unique_ptr<TNamedMutex> InstanceMutex;
std::unique_ptr<TNamedMutex> WindowMutex;
TRect PreviewRect;
std::unique_ptr<TMandelPaint> PreviewPainter;
TFR_Saver* PrimaryWindow = nullptr;
TConfigureFrame* ConfigureFrame = nullptr;
