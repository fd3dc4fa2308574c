// The window shows a picture with an embedded profile in the screen's colours, whichever format
// carried the profile, and keeps the file's values in the raster.

#include <QColorSpace>
#include <exiv2/exiv2.hpp>

#include "image/EmbeddedProfile.h"
#include "image/ImageSaver.h"
#include "support/WideGamutProfile.h"
#include "support/ui/MainWindowFixture.h"
#include "view/DisplayCopy.h"

namespace {

class DisplayColourWindow : public MainWindowFixture {};

TEST_F(DisplayColourWindow, JpegAndPngProfilesShowConverted) {
    const QByteArray wide = WideGamutProfile();
    constexpr TColor32 kGreen = 0xFF20C040u;

    // A JPEG whose profile Exiv2 wrote, as a camera does; a PNG whose iCCP chunk Qt wrote.
    TBitmap32 picture;
    picture.SetSize(16, 12);
    picture.Clear(kGreen);
    const QString jpeg = PathOf("wide.jpg");
    WriteImageFile(jpeg, picture, 100);
    {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(jpeg).toStdString());
        image->readMetadata();
        Exiv2::DataBuf buffer(reinterpret_cast<const Exiv2::byte*>(wide.constData()),
                              long(wide.size()));
        image->setIccProfile(buffer, false);
        image->writeMetadata();
    }
    const QString png = PathOf("wide.png");
    QImage pngImage(16, 12, QImage::Format_RGB32);
    pngImage.fill(QColor(0x20, 0xC0, 0x40));
    pngImage.setColorSpace(QColorSpace(QColorSpace::Primaries::AdobeRgb, 2.2f));
    ASSERT_TRUE(pngImage.save(png));
    const QString plain = PathOf("plain.png");
    pngImage.setColorSpace(QColorSpace());
    ASSERT_TRUE(pngImage.save(plain));

    MarkRegistered();
    TKelvoImageForm& form = Start();
    form.OneToOne1Click();
    for (const QString& file : {jpeg, png, plain}) {
        SCOPED_TRACE(file.toStdString());
        form.LoadImageFile(file);
        const TColor32 stored = Bitmap().GetPixel(5, 5);
        const QByteArray profile = EmbeddedIccProfile(file, form.FMetadata);
        const auto colour = TDisplayColor::ForProfile(profile);
        EXPECT_EQ(bool(colour), file != plain);
        TColor32 expected = stored | 0xFF000000u;
        if (colour) colour->Convert(&expected, 1);
        const QImage shown = form.Image->grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shown.pixel(5, 5), QRgb(expected));
        if (colour) EXPECT_NE(expected, stored | 0xFF000000u) << "the profile changes the screen";
        EXPECT_EQ(Bitmap().GetPixel(5, 5), stored) << "and never the raster";
    }
}

}  // namespace
