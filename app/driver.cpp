#include "app/driver.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/raster.h"

namespace kordane::app {

namespace {

// A setting the CUPS queue takes from its PPD, offered here as a vendor
// attribute: either keywords standing for the numbers 0, 1, 2, ... or an
// integer range, stored as the number itself plus `offset`.
struct VendorSetting {
    const char* name;
    std::int32_t PrintSettings::*field;
    std::vector<const char*> keywords; // empty: an integer setting
    int low = 0, high = 0;             // integer range
    int offset = 0;                    // field = value + offset
    int byDefault = 0;                 // keyword index or integer
};

enum class Offered { Always, Compression, CutAndColour, Drawers };

struct OfferedSetting {
    Offered when;
    VendorSetting setting;
};

const std::vector<OfferedSetting>& vendorSettings()
{
    static const std::vector<OfferedSetting> list = {
        {Offered::Always, {"blank-lines", &PrintSettings::PageType, {"trimmed", "kept"}}},
        {Offered::Always,
         {"page-rotation", &PrintSettings::Rotation, {"none", "quarter-turn", "half-turn", "three-quarter-turn"}}},
        {Offered::Always,
         {"logo-position", &PrintSettings::LogoPosition, {"none", "above", "below", "above-and-below"}}},
        {Offered::Always, {"logo-number", &PrintSettings::LogoImage, {}, 1, 3, -1, 1}},
        {Offered::Always,
         {"logo-alignment", &PrintSettings::LogoJustification, {"left", "center", "right"}, 0, 0, 0, 1}},
        {Offered::Always,
         {"logo-size",
          &PrintSettings::LogoWidth,
          {"normal", "double-width", "double-height", "double-width-and-height"}}},
        {Offered::Always, {"logo-feed", &PrintSettings::LineFeed, {}, 0, 5, 0, 0}},
        {Offered::CutAndColour, {"page-end", &PrintSettings::PageCut, {"feed", "nothing", "cut"}, 0, 0, 0, 2}},
        {Offered::CutAndColour, {"job-end-cut", &PrintSettings::JobEndCut, {"off", "on"}}},
        {Offered::Drawers,
         {"cash-drawer", &PrintSettings::CashDrawer, {"none", "drawer-1", "drawer-2", "both-drawers"}}},
        {Offered::Drawers,
         {"cash-drawer-open",
          &PrintSettings::CashDrawerOpen,
          {"before-printing", "after-printing", "before-and-after-printing"}}},
        {Offered::Drawers, {"drawer-1-pulse-ms", &PrintSettings::CashDrawer1PulseWidth, {}, 50, 500, 0, 100}},
        {Offered::Drawers, {"drawer-2-pulse-ms", &PrintSettings::CashDrawer2PulseWidth, {}, 50, 500, 0, 100}},
        {Offered::Compression, {"block-compression", &PrintSettings::CompPrinting, {"off", "on"}, 0, 0, 0, 1}},
    };
    return list;
}

bool offers(const ModelInfo& model, Offered when)
{
    switch (when) {
    case Offered::Always:
        return true;
    case Offered::Compression:
        return model.compresses();
    case Offered::CutAndColour:
        return model.options == OptionSet::All;
    case Offered::Drawers:
        return model.options != OptionSet::MonoFixed;
    }
    return false;
}

struct DriverNames {
    std::vector<std::string> names, descriptions;
    std::vector<pappl_pr_driver_t> drivers;
};

DriverNames& driverNames()
{
    static DriverNames d = [] {
        DriverNames n;
        for (const ModelInfo& m : allModels()) {
            char name[32], description[96];
            std::snprintf(name, sizeof name, "kordane_%03d", static_cast<int>(m.number));
            const char* kind = m.twoColour ? "Two-Colour Receipt"
                               : m.options == OptionSet::All ? "Receipt Printer"
                                                             : "Tear-Off Printer";
            std::snprintf(description, sizeof description, "Kordane %d %s", static_cast<int>(m.number), kind);
            n.names.emplace_back(name);
            n.descriptions.emplace_back(description);
        }
        for (std::size_t i = 0; i < n.names.size(); ++i)
            n.drivers.push_back({n.names[i].c_str(), n.descriptions[i].c_str(), nullptr, nullptr});
        return n;
    }();
    return d;
}

void setMedia(pappl_media_col_t& media, const char* sizeName, int width, int length)
{
    std::snprintf(media.size_name, sizeof media.size_name, "%s", sizeName);
    media.size_width = width;
    media.size_length = length;
    media.left_margin = media.right_margin = 500;
    media.top_margin = media.bottom_margin = 0;
    std::snprintf(media.source, sizeof media.source, "main-roll");
    std::snprintf(media.type, sizeof media.type, "continuous");
}

void addVendorAttribute(ipp_t* attributes, const VendorSetting& v)
{
    const std::string supported = std::string(v.name) + "-supported";
    const std::string byDefault = std::string(v.name) + "-default";
    if (v.keywords.empty()) {
        ippAddRange(attributes, IPP_TAG_PRINTER, supported.c_str(), v.low, v.high);
        ippAddInteger(attributes, IPP_TAG_PRINTER, IPP_TAG_INTEGER, byDefault.c_str(), v.byDefault);
    } else {
        ippAddStrings(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, supported.c_str(),
                      static_cast<int>(v.keywords.size()), nullptr, v.keywords.data());
        ippAddString(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, byDefault.c_str(), nullptr,
                     v.keywords[static_cast<std::size_t>(v.byDefault)]);
    }
}

std::int32_t vendorValue(const VendorSetting& v, const pappl_pr_options_t& options, ipp_t* printerAttributes)
{
    const char* text = cupsGetOption(v.name, options.num_vendor, options.vendor);
    ipp_attribute_t* byDefault =
        text || !printerAttributes
            ? nullptr
            : ippFindAttribute(printerAttributes, (std::string(v.name) + "-default").c_str(), IPP_TAG_ZERO);
    char defaultText[64];
    if (byDefault != nullptr)
        text = ippAttributeString(byDefault, defaultText, sizeof defaultText) > 0 ? defaultText : nullptr;
    if (v.keywords.empty()) {
        int value = text ? std::atoi(text) : v.byDefault;
        if (value < v.low || value > v.high)
            value = v.byDefault;
        return value + v.offset;
    }
    if (text)
        for (std::size_t i = 0; i < v.keywords.size(); ++i)
            if (std::strcmp(text, v.keywords[i]) == 0)
                return static_cast<std::int32_t>(i);
    return v.byDefault;
}

} // namespace

std::span<pappl_pr_driver_t> drivers() { return driverNames().drivers; }

const ModelInfo* modelForDriver(const char* driverName)
{
    int number = 0;
    if (driverName == nullptr || std::sscanf(driverName, "kordane_%d", &number) != 1)
        return nullptr;
    return findModel(number);
}

unsigned printableDots(const pappl_media_col_t& media)
{
    return media.size_width >= (kWideRoll + kNarrowRoll) / 2 ? kWideRollDots : kNarrowRollDots;
}

bool setUpDriver(pappl_system_t*, const char* driverName, const char*, const char*, pappl_pr_driver_data_t* data,
                 ipp_t** attributes, void*)
{
    const ModelInfo* model = modelForDriver(driverName);
    if (model == nullptr)
        return false;
    const DriverNames& n = driverNames();
    for (std::size_t i = 0; i < n.names.size(); ++i)
        if (n.names[i] == driverName)
            std::snprintf(data->make_and_model, sizeof data->make_and_model, "%s", n.descriptions[i].c_str());

    setRasterCallbacks(*data);
    data->ppm = 30;
    data->kind = static_cast<pappl_kind_t>(PAPPL_KIND_RECEIPT | PAPPL_KIND_ROLL);
    data->orient_default = IPP_ORIENT_PORTRAIT;
    data->quality_default = IPP_QUALITY_NORMAL;
    data->num_resolution = 1;
    data->x_resolution[0] = data->y_resolution[0] = 203;
    data->x_default = data->y_default = 203;
    // PAPPL hands a raster document's lines over as they are when they have
    // the page's pixel type, and converts them otherwise, except 1-bit lines.
    // So a monochrome model takes 1-bit black documents and gets every page
    // as 1-bit black (PAPPL dithers grey and colour pictures to it); a
    // two-colour model takes 8-bit grey and 8-bit RGB documents and gets its
    // pages as those.
    data->color_supported = static_cast<pappl_color_mode_t>(PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_MONOCHROME);
    data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
    if (model->twoColour) {
        data->ppm_color = 30;
        data->raster_types =
            static_cast<pappl_raster_type_t>(PAPPL_PWG_RASTER_TYPE_SGRAY_8 | PAPPL_PWG_RASTER_TYPE_SRGB_8);
        data->color_supported = static_cast<pappl_color_mode_t>(data->color_supported | PAPPL_COLOR_MODE_COLOR);
    } else {
        data->raster_types = PAPPL_PWG_RASTER_TYPE_BLACK_1;
        data->force_raster_type = PAPPL_PWG_RASTER_TYPE_BLACK_1;
    }
    data->sides_supported = PAPPL_SIDES_ONE_SIDED;
    data->sides_default = PAPPL_SIDES_ONE_SIDED;
    data->left_right = 500;
    data->bottom_top = 0;

    // 58 and 80 mm rolls, any length from 25 mm to 1 m.
    static const char* const kMedia[] = {"om_receipt-80_80x297mm", "om_receipt-58_58x297mm",
                                         "roll_max_80x1000mm", "roll_min_58x25mm"};
    data->num_media = 4;
    for (int i = 0; i < data->num_media; ++i)
        data->media[i] = kMedia[i];
    data->num_source = 1;
    data->source[0] = "main-roll";
    data->num_type = 1;
    data->type[0] = "continuous";
    setMedia(data->media_ready[0], "om_receipt-80_80x297mm", kWideRoll, 29700);
    data->media_default = data->media_ready[0];

    *attributes = ippNew();
    // What the printer does and does not do beyond PAPPL's own attributes:
    // one rendering, one side, no preferred-attributes answers.
    ippAddBoolean(*attributes, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    ippAddString(*attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
    ippAddString(*attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
    ippAddString(*attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
    data->num_vendor = 0;
    for (const OfferedSetting& o : vendorSettings()) {
        if (!offers(*model, o.when))
            continue;
        data->vendor[data->num_vendor++] = o.setting.name;
        addVendorAttribute(*attributes, o.setting);
    }
    return true;
}

PrintSettings jobSettings(const ModelInfo& model, const pappl_pr_options_t& options, ipp_t* printerAttributes,
                          bool twoColours)
{
    PrintSettings s;
    s.model_number = model.number;
    for (const OfferedSetting& o : vendorSettings())
        if (offers(model, o.when))
            s.*o.setting.field = vendorValue(o.setting, options, printerAttributes);
    if (model.options == OptionSet::MonoFixed)
        s.ColorModel = 1;
    else if (model.options == OptionSet::All)
        s.ColorModel = (twoColours && model.twoColour) ? 0 : 1;

    // The receipt sizes (never turned a quarter turn), or a short page no
    // longer than the roll is wide.
    const bool wide = printableDots(options.media) == kWideRollDots;
    const bool shortPage = options.media.size_length <= options.media.size_width;
    s.PageSize = wide ? (shortPage ? 1 : 94) : (shortPage ? 3 : 138);
    return s;
}

} // namespace kordane::app
