// Heat distortion: the captured slide drawn back through a scrolling bump
// map, so the whole picture shimmers as in hot air.
//
// Set by the flame layer every frame: stenght (strength of the shift, in
// texture units), Offset (scroll of the bump map), bump_scale (its tiling,
// y already multiplied by the picture's aspect), SceneTex and Bumpmap.
// The layer draws a quad with position + one texture coordinate and no
// vertex shader, so this pass has no vertex code: the fixed-function vertex
// path transforms the quad and hands over d3d_ffTexCoord0.

float   stenght    = 0.0025;
float2  Offset     = {0, 0};
float2  bump_scale = {0.208, 0.156};
texture SceneTex;
texture Bumpmap;

technique BumpmapDistortLow2 {
    pass P0 {
        ZEnable          = false;
        CullMode         = None;
        AlphaBlendEnable = false;

        sampler SceneTex {              // stage 0
            AddressU  = Clamp;
            AddressV  = Clamp;
            MinFilter = Linear;
            MagFilter = Linear;
        }
        sampler Bumpmap {               // stage 1
            AddressU  = Wrap;
            AddressV  = Wrap;
            MinFilter = Linear;
            MagFilter = Linear;
        }

        fragment """
            void main() {
                vec2 uv = d3d_ffTexCoord0.xy;
                // The bump map's red and green channels, centred on 0, push
                // the lookup into the captured slide a little sideways.
                vec2 bump = texture(Bumpmap, uv * bump_scale + Offset).rg * 2.0 - 1.0;
                // Hot air rises from the fire along the lower picture: the
                // shift is strongest there and fades towards the top.
                float hot = 0.3 + 0.7 * smoothstep(0.2, 0.8, uv.y);
                d3d_FragColor = vec4(texture(SceneTex, uv + bump * stenght * hot).rgb, 1.0);
            }
        """
    }
}
