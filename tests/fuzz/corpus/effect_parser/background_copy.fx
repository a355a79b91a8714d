// Background copy: inside the painted mask, the background shifted by
// "offset" (in picture sizes).  The background is mirrored outside 0..1, so
// an offset grown by a whole 1 shows the copy mirrored.
//
// Drawn over the picture quad with the fixed-function vertex path (no vertex
// code): d3d_ffTexCoord0 is the picture coordinate, v = 0 at the top.

float2  offset = {0, 0};
float2  Scale = {1, 1};
texture Mask;                   // alpha only; no texture reads as alpha 1
texture Background;

technique Main {
    pass P0 {
        ZEnable          = false;
        CullMode         = None;
        AlphaBlendEnable = true;
        SrcBlend         = SrcAlpha;
        DestBlend        = InvSrcAlpha;

        sampler Background { AddressU = Mirror; AddressV = Mirror; MinFilter = Linear; MagFilter = Linear; }
        sampler Mask       { AddressU = Clamp;  AddressV = Clamp;  MinFilter = Linear; MagFilter = Linear; }

        fragment """
            void main() {
                vec2 uv = d3d_ffTexCoord0.xy;
                d3d_FragColor = vec4(texture(Background, uv + offset).rgb, texture(Mask, uv).a);
            }
        """
    }
}

technique MainFX = Main;
