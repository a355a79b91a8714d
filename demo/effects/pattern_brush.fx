// Pattern brush: a picture pattern tiled over the masked part of the
// picture.  "coord_transf" is the 2 x 2 matrix (M11, M12, M21, M22) that
// turns picture coordinates into tile coordinates (tile counts, rotation,
// mirroring), row vectors as everywhere: t = (u, v) x M; "offset" shifts
// the tiles.  The pattern's own alpha and the mask decide the coverage.

float2  scale = {1, 1};             // pattern width / height
float2  offset = {0, 0};
float4  coord_transf = {1, 0, 0, 1};
float2  Scale = {1, 1};
texture Pattern;
texture Mask;
texture Background;

technique Main {
    pass P0 {
        ZEnable          = false;
        CullMode         = None;
        AlphaBlendEnable = true;
        SrcBlend         = SrcAlpha;
        DestBlend        = InvSrcAlpha;

        sampler Pattern { AddressU = Wrap;  AddressV = Wrap;  MinFilter = Linear; MagFilter = Linear; }
        sampler Mask    { AddressU = Clamp; AddressV = Clamp; MinFilter = Linear; MagFilter = Linear; }

        fragment """
            void main() {
                vec2 uv = d3d_ffTexCoord0.xy;
                mat2 m = mat2(coord_transf.x, coord_transf.z,     // first column: M11, M21
                              coord_transf.y, coord_transf.w);    // second column: M12, M22
                vec2 t = uv * m + offset;                         // row vector times M
                vec4 p = texture(Pattern, t);
                d3d_FragColor = vec4(p.rgb, p.a * texture(Mask, uv).a);
            }
        """
    }
}

technique MainFX = Main;
