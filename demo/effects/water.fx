// Water: a rippling water surface over the masked part of the picture.
// Two lookups of the bump map, turned and tiled by "BampTrans" (2 x 2,
// row vectors) and scrolled along "Direction1" and "Direction2", give a
// surface slope; the background is refracted by it, lit with a highlight
// along the half-vector "Vhalf", darkened by "Shadows" where the surface
// faces away, and tinted by "Color".  "P1" and "P2" are set by the callers;
// this effect does not use them.

texture BumpMap;
float4  BampTrans  = {0.02, 0, 0, 0.02};
float3  P1         = {-0.998, -1, -0.998};
float3  P2         = {1, 1.03267, 1};
float   Time       = 0;
float2  Direction1 = {0, 0};
float2  Direction2 = {0, 0};
float   Shadows    = 0;
float3  Vhalf      = {0.447214, 0.894427, 0};
float3  Color      = {1, 1, 1};
float2  Scale = {1, 1};
texture Mask;
texture Background;

technique Main {
    pass P0 {
        ZEnable          = false;
        CullMode         = None;
        AlphaBlendEnable = true;
        SrcBlend         = SrcAlpha;
        DestBlend        = InvSrcAlpha;

        sampler BumpMap    { AddressU = Wrap;  AddressV = Wrap;  MinFilter = Linear; MagFilter = Linear; }
        sampler Background { AddressU = Clamp; AddressV = Clamp; MinFilter = Linear; MagFilter = Linear; }
        sampler Mask       { AddressU = Clamp; AddressV = Clamp; MinFilter = Linear; MagFilter = Linear; }

        fragment """
            void main() {
                vec2 uv = d3d_ffTexCoord0.xy;
                // Aspect-correct surface coordinates, zoomed by Scale; the
                // bump transform is small, so it tiles in picture pixels.
                vec2 c = uv * Scale * 50.0;
                mat2 m = mat2(BampTrans.x, BampTrans.z, BampTrans.y, BampTrans.w);
                vec2 b1 = texture(BumpMap, c * m + Direction1 * Time * 0.001).rg * 2.0 - 1.0;
                vec2 b2 = texture(BumpMap, c * m * 1.7 + Direction2 * Time).rg * 2.0 - 1.0;
                vec2 slope = (b1 + b2) * 0.5;

                vec3 n = normalize(vec3(slope.x, 1.0, slope.y));
                float highlight = pow(max(dot(n, Vhalf), 0.0), 24.0);
                float shade = 1.0 - Shadows * clamp(-slope.y, 0.0, 1.0);

                vec3 bg = texture(Background, uv + slope * 0.01).rgb;
                vec3 colour = (bg * shade + vec3(highlight * 0.5)) * Color;
                d3d_FragColor = vec4(min(colour, vec3(1.0)), texture(Mask, uv).a);
            }
        """
    }
}

technique MainFX = Main;
