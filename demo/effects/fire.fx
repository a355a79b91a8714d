// Fire: flames over a grid (or the flame layer's quad) from a flame-shaped
// pattern picture, stirred by three layers of scrolling noise.
//
// Texture coordinates of the grid: u runs across the fire (0 to 1 / grid
// scale), v from 0 at the fire's top edge to 1 at its bottom.  The noise
// scrolls down the picture (c11, c12, c13 grow with time), so its features
// rise through the flames.  Heat 0 takes ColorK1 (the second colour), heat 1
// ColorK1 + ColorK2 (the first colour).
//
// "Main" draws the fire as a scene object, through the painted mask (in the
// picture's own space, whatever the picture position and the camera zoom);
// "AsEffect" is the flame layer's own fire, without a mask.

matrix  WorldViewProj;          // picture space -> clip space, per mesh
matrix  ViewProj;               // picture space -> the fitted picture's place, unzoomed
float2  c11 = {0, 0};
float2  c12 = {0, 0};
float2  c13 = {0, 0};
float2  bg_scale_factor = {1, 1};  // target size over fitted picture size; (1, 1) in a capture
float3  ColorK1 = {1, 0, 0};
float3  ColorK2 = {0, 1, 0};
float   Brightness = 0.3;
float   Density = 0;            // -1 thin .. 1 thick
texture Noise;
texture Pattern;
texture Mask;                   // alpha only; no texture reads as alpha 1
texture Background;             // set by the callers; this effect blends instead

technique Main {
    pass P0 {
        ZEnable          = false;
        CullMode         = None;
        AlphaBlendEnable = true;
        SrcBlend         = SrcAlpha;
        DestBlend        = InvSrcAlpha;

        sampler Noise   { AddressU = Wrap;  AddressV = Wrap;  MinFilter = Linear; MagFilter = Linear; }
        sampler Pattern { AddressU = Clamp; AddressV = Clamp; MinFilter = Linear; MagFilter = Linear; }
        sampler Mask    { AddressU = Clamp; AddressV = Clamp; MinFilter = Linear; MagFilter = Linear; }

        vertex """
            out vec2 uv;
            out vec2 pictureUv;
            void main() {
                gl_Position = vec4(d3d_Position.xyz, 1.0) * WorldViewProj;
                uv = d3d_TexCoord0.xy;
                // Where the vertex lies on the picture (0..1, v down), as the
                // picture's own texture is laid on it: the mask is painted
                // over the picture and follows its position and zoom.
                // ViewProj puts the picture in its fitted place, centred and
                // unzoomed; bg_scale_factor widens that place to the target.
                vec4 fitted = vec4(d3d_Position.xyz, 1.0) * ViewProj;
                pictureUv = vec2(0.5 + 0.5 * bg_scale_factor.x * fitted.x / fitted.w,
                                 0.5 - 0.5 * bg_scale_factor.y * fitted.y / fitted.w);
            }
        """

        fragment """
            in vec2 uv;
            in vec2 pictureUv;

            // The flame at a point of the pattern: three layers of noise
            // scrolling up (c11..c13 grow with time) bend the pattern and eat
            // into it, more the higher the point, so tongues lick and break
            // off; heat 1 is the first colour (ColorK1 + ColorK2), the
            // flame's edges and tips the second (ColorK1), fading out.
            vec4 Flame(vec2 uv) {
                float n = texture(Noise, uv + c11).r
                        + texture(Noise, uv * 2.0 + c12).r * 0.5
                        + texture(Noise, uv * 3.0 + c13).r * 0.25;
                n /= 1.75;
                float up = clamp(1.0 - uv.y, 0.0, 1.0);
                vec2 p = vec2(uv.x + (n - 0.5) * 0.12 * up, uv.y + (n - 0.5) * 0.25 * up);
                float shape = texture(Pattern, clamp(p, 0.0, 1.0)).r;
                float heat = shape * (0.9 * n + 0.35 + 0.5 * Density) * 1.4 - (1.0 - n) * 0.45 * up;
                heat = clamp(heat, 0.0, 1.0);
                vec3 colour = (ColorK1 + ColorK2 * heat * heat) * (0.7 + Brightness);
                float alpha = smoothstep(0.04, 0.45, heat) * clamp(1.0 + Brightness, 0.0, 1.0);
                return vec4(colour, alpha);
            }

            void main() {
                vec4 c = Flame(uv);
                d3d_FragColor = vec4(c.rgb, c.a * texture(Mask, pictureUv).a);
            }
        """
    }
}

technique AsEffect {
    pass P0 {
        ZEnable          = false;
        CullMode         = None;
        AlphaBlendEnable = true;
        SrcBlend         = SrcAlpha;
        DestBlend        = InvSrcAlpha;

        sampler Noise   { AddressU = Wrap;  AddressV = Wrap;  MinFilter = Linear; MagFilter = Linear; }
        sampler Pattern { AddressU = Clamp; AddressV = Clamp; MinFilter = Linear; MagFilter = Linear; }

        vertex """
            out vec2 uv;
            void main() {
                gl_Position = vec4(d3d_Position.xyz, 1.0) * WorldViewProj;
                uv = d3d_TexCoord0.xy;
            }
        """

        fragment """
            in vec2 uv;

            // The flame at a point of the pattern: three layers of noise
            // scrolling up (c11..c13 grow with time) bend the pattern and eat
            // into it, more the higher the point, so tongues lick and break
            // off; heat 1 is the first colour (ColorK1 + ColorK2), the
            // flame's edges and tips the second (ColorK1), fading out.
            vec4 Flame(vec2 uv) {
                float n = texture(Noise, uv + c11).r
                        + texture(Noise, uv * 2.0 + c12).r * 0.5
                        + texture(Noise, uv * 3.0 + c13).r * 0.25;
                n /= 1.75;
                float up = clamp(1.0 - uv.y, 0.0, 1.0);
                vec2 p = vec2(uv.x + (n - 0.5) * 0.12 * up, uv.y + (n - 0.5) * 0.25 * up);
                float shape = texture(Pattern, clamp(p, 0.0, 1.0)).r;
                float heat = shape * (0.9 * n + 0.35 + 0.5 * Density) * 1.4 - (1.0 - n) * 0.45 * up;
                heat = clamp(heat, 0.0, 1.0);
                vec3 colour = (ColorK1 + ColorK2 * heat * heat) * (0.7 + Brightness);
                float alpha = smoothstep(0.04, 0.45, heat) * clamp(1.0 + Brightness, 0.0, 1.0);
                return vec4(colour, alpha);
            }

            void main() {
                d3d_FragColor = Flame(uv);
            }
        """
    }
}
