// Light: the masked part of the picture brightened by "multiplier"
// (0 = unchanged, 0.4 = 40 % brighter), which pulses, blinks or flickers.
// The light is added to what is drawn already (destination x 1 + the
// picture x multiplier x mask), so whatever the layer and the objects drew
// before it (a flame layer's fire, sprites) stays where it is under the
// light instead of being painted over by the bare picture.

float   multiplier = 0;
float2  Scale = {1, 1};
texture Mask;
texture Background;

technique Main {
    pass P0 {
        ZEnable          = false;
        CullMode         = None;
        AlphaBlendEnable = true;
        SrcBlend         = SrcAlpha;
        DestBlend        = One;

        sampler Background { AddressU = Clamp; AddressV = Clamp; MinFilter = Linear; MagFilter = Linear; }
        sampler Mask       { AddressU = Clamp; AddressV = Clamp; MinFilter = Linear; MagFilter = Linear; }

        fragment """
            void main() {
                vec2 uv = d3d_ffTexCoord0.xy;
                vec3 c = texture(Background, uv).rgb * multiplier;
                d3d_FragColor = vec4(c, texture(Mask, uv).a);
            }
        """
    }
}

technique MainFX = Main;
