// The class script of the context-menu handler, byte for byte as the module
// stores it (CR LF line ends, tabs and spaces as written).
#pragma once

namespace test_support {

inline constexpr char16_t kClassScript[] =
    u"HKCR\r\n"
    u"{\r\n"
    u"\tNoRemove CLSID\r\n"
    u"\t{\r\n"
    u"\t\tForceRemove {5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925} = s 'Quenor Clean Shell Extension'\r\n"
    u"\t\t{\r\n"
    u"\t\t\tInprocServer32 = s '%MODULE%'\r\n"
    u"\t\t\t{\r\n"
    u"\t\t\t\tval ThreadingModel = s 'Apartment'\r\n"
    u"\t\t\t}\r\n"
    u"\t\t}\r\n"
    u"\t}\r\n"
    u"\tNoRemove *\r\n"
    u"    {\r\n"
    u"        NoRemove shellex\r\n"
    u"        {\r\n"
    u"            NoRemove ContextMenuHandlers\r\n"
    u"            {\r\n"
    u"\t\t\t\tForceRemove QuenorClean = s '{5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925}'\r\n"
    u"            }\r\n"
    u"        }\r\n"
    u"    }\r\n"
    u"\tNoRemove Directory\r\n"
    u"    {\r\n"
    u"        NoRemove shellex \r\n"
    u"        {\r\n"
    u"            NoRemove ContextMenuHandlers\r\n"
    u"            {\r\n"
    u"\t\t\t\tForceRemove QuenorClean = s '{5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925}'\r\n"
    u"            }\r\n"
    u"        }\r\n"
    u"    }\r\n"
    u"\tNoRemove Drive\r\n"
    u"    {\r\n"
    u"        NoRemove shellex\r\n"
    u"        {\r\n"
    u"            NoRemove ContextMenuHandlers\r\n"
    u"            {\r\n"
    u"\t\t\t\tForceRemove QuenorClean = s '{5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925}'\r\n"
    u"            }\r\n"
    u"        }\r\n"
    u"    }\r\n"
    u"}\r\n";

inline constexpr char16_t kModuleScript[] = u"HKCR\r\n{\r\n}\r\n";

}  // namespace test_support
