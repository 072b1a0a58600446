#include "export/imagesaves.h"

#include "catalogue/pages.h"
#include "export/saveflows.h"
#include "formats/image.h"
#include "icons/i2bconvert.h"
#include "icons/icontools.h"
#include "platform/streams.h"

#include <new>
#include <stdexcept>

namespace vexillo {

bool SaveOneImage(TAdvancedIcon &Icon, int Index, TImageFile Format, const std::string &Folder, TSaveTarget &Target)
{
    TIconImage *image =
        Index >= 0 && Index < Icon.Images.Count ? Icon.Images.GetItem(static_cast<uint16_t>(Index)) : nullptr;
    if (!image)
        return false;
    if (Format == TImageFile::Icon) {
        TMemoryStream stream;
        Icon.SaveImageToStream(stream, Index);
        Target.Write(SavedFileName(Folder, "", Index + 1, Icon.IsCursor ? ".cur" : ".ico"), stream.Bytes());
    } else if (Format == TImageFile::Png) {
        Target.Write(SavedFileName(Folder, "", Index + 1, ".png"), ImagePngBytes(*image));
    } else {
        auto graphic = image->CreateGraphic();
        Target.Write(SavedFileName(Folder, "", Index + 1, ".bmp"), BitmapFileBytes(*graphic));
    }
    return true;
}

const TIconImage *ImageToCopy(const TAdvancedIcon &Icon, bool Previewed, int Row)
{
    int i = -1;
    if (Previewed)
        i = Row;
    else if (Icon.Images.Count > 0)
        i = ChooseImageForSize(Icon, kMaxIconDimension);
    return i >= 0 && i < Icon.Images.Count ? Icon.Images.GetItem(static_cast<uint16_t>(i)) : nullptr;
}

bool RunSaveSteps(const std::function<void()> &steps, std::string &message)
{
    auto report = [&message](const std::exception &error) {
        message = std::string("Error Message: \n\n") + error.what();
        return false;
    };
    try {
        steps();
        return true;
    } catch (const EStreamError &error) {
        return report(error);
    } catch (const EInvalidGraphic &error) {
        return report(error);
    } catch (const EOutOfResources &error) {
        return report(error);
    } catch (const std::out_of_range &error) {
        return report(error);
    } catch (const std::bad_alloc &) {
        // The system had less memory than the file's budget allows.
        return report(std::runtime_error("out of memory"));
    }
}

std::string SkippedImagesText(int Skipped, const std::string &FirstSkipped)
{
    return std::to_string(Skipped) + " image(s) could not be read and were not saved.\n\n" + FirstSkipped;
}

} // namespace vexillo
