// The advanced graphics page flags each driver-dependent setting "Available" or "Not Available"
// as the driver's own extension string says.
#include "menu_world.h"

#include "render/shaders.h"

#include <GL/gl.h>

namespace {
struct menu_driver : menu_world {
    // The flag the open advanced graphics page shows beside an item.
    std::string flag_of(const char* label) {
        const menu_view view = menu_view_of(width, height);
        for (int i = 0; i < static_cast<int>(view.items.size()); i++)
            if (menu_item_label(menu_advanced_graphics, i) == label) return view.items[i].aside;
        ADD_FAILURE() << "no item " << label;
        return "";
    }
};

const char* flag_for(bool offered) { return offered ? "Available" : "Not Available"; }

TEST_F(menu_driver, TheAdvancedGraphicsFlagsFollowTheDriversExtensions) {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    ASSERT_NE(extensions, nullptr);
    const bool shaders = gl_extension_listed(extensions, "GL_ARB_vertex_shader") &&
                         gl_extension_listed(extensions, "GL_ARB_fragment_shader");
    menu_open(menu_advanced_graphics);
    EXPECT_EQ(flag_of("Use Shader Programs"), flag_for(shaders));
    EXPECT_EQ(flag_of("Enable Ground Mipmaps"),
              flag_for(gl_extension_listed(extensions, "GL_SGIS_generate_mipmap")));
    // The offscreen driver offers the shader programs, and the page says so.
    EXPECT_TRUE(shaders_offered(gl_features()));
    EXPECT_EQ(flag_of("Use Shader Programs"), "Available");
}
} // namespace
